#pragma once
// Every value the tool's parameter string depends on, and its composition.
#include <cstdint>
#include <string>

namespace quilbo {

enum class TAmplifyMode { amRatio, amLevel, amPercent };

struct TOptionSet {
  TAmplifyMode mode = TAmplifyMode::amRatio;
  std::int32_t ratio = 0;
  std::int32_t level = 0;
  std::int32_t percent = 100;
  bool bufferSizeEnabled = false;
  std::int32_t bufferSize = 64;
  bool outputEnabled = false;
  std::string outputPath = "Select Output File!";
  bool abortEnabled = false;
  std::int32_t abortLevel = 0;
  std::string inputPath = "Select Input File!";
};

// The parameter string: the amplification piece, then -b, -o, -x when enabled,
// then the input path. Paths go between double quotes exactly as they are.
std::string BuildCommandLine(const TOptionSet& options);

}  // namespace quilbo
