// The tool's own command-line parser over arbitrary arguments: it refuses with
// a usage failure only, and what it accepts is within the ranges --help gives.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "failure.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Within(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Arguments are separated by NUL bytes, as the system hands them over.
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back() += static_cast<char>(data[i]);
    }
  }
  using namespace normalize;
  Options options;
  try {
    options = ParseCommandLine(args);
  } catch (const Failure& failure) {
    Check(failure.code() == ExitCode::kUsage);
    return 0;
  }
  if (options.help || options.version) return 0;  // nothing else is read
  Check(!options.inputs.empty());
  for (const std::string& input : options.inputs) Check(!input.empty());
  Check(Within(options.buffer_kb, 16, 16384));
  Check(options.jobs == 0 || Within(options.jobs, 1, 256));
  if (options.mode == Mode::kPercent) Check(Within(options.value, 1, 100));
  if (options.mode == Mode::kLevel) Check(Within(options.value, -100, 100));
  if (options.mode == Mode::kRatio) Check(options.value != 0);
  if (options.mode == Mode::kLoudness) Check(options.loudness_lufs >= -70 && options.loudness_lufs <= 0);
  if (options.true_peak_dbtp) Check(options.mode == Mode::kLoudness && *options.true_peak_dbtp >= -60);
  if (options.album) Check(!options.analyze && (options.mode == Mode::kPercent || options.mode == Mode::kLoudness));
  if (options.output) Check(options.inputs.size() == 1 && !options.analyze);
  if (options.analyze) Check(!options.dry_run && !options.output && !options.abort_below_db && !options.album);
  return 0;
}
