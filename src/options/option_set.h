#pragma once
// Every value the tool's parameter string depends on, and its composition.
#include <cstdint>
#include <string>

namespace quilbo {

enum class TAmplifyMode { amRatio, amLevel, amPercent };

// The path fields' texts until a file is chosen; composed like any path.
inline constexpr char kInputPlaceholder[] = "Select Input File!";
inline constexpr char kOutputPlaceholder[] = "Select Output File!";

struct TOptionSet {
  TAmplifyMode mode = TAmplifyMode::amRatio;
  std::int32_t ratio = 0;
  std::int32_t level = 0;
  std::int32_t percent = 100;
  bool bufferSizeEnabled = false;
  std::int32_t bufferSize = 64;
  bool outputEnabled = false;
  std::string outputPath = kOutputPlaceholder;
  bool abortEnabled = false;
  std::int32_t abortLevel = 0;
  std::string inputPath = kInputPlaceholder;
};

// The parameter string: the amplification piece, then -b, -o, -x when enabled,
// then the input path. Paths go between double quotes exactly as they are.
std::string BuildCommandLine(const TOptionSet& options);

}  // namespace quilbo
