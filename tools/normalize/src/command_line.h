#pragma once
// The tool's arguments: what the front end composes (one of -l/-a/-m first,
// then -b, -o, -x, the input file last) and the same in any order.
#include <optional>
#include <string>
#include <vector>

namespace normalize {

enum class Mode { kRatio, kLevel, kPercent };

struct Options {
  bool help = false;
  Mode mode = Mode::kPercent;
  int value = 100;  // the ratio, the level in dB or the percentage
  int buffer_kb = 64;
  std::optional<std::string> output;
  std::optional<int> abort_below_db;
  std::string input;
};

// Throws Failure with the usage exit code on anything it does not accept.
Options ParseCommandLine(const std::vector<std::string>& args);

const char* UsageText();

}  // namespace normalize
