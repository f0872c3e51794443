#pragma once
// Helpers for the normalize tool's tests: a scratch folder, sox as the outside
// reader and writer of WAV files, hand-built RIFF files, and in-process runs.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "failure.h"
#include "output/atomic_output.h"

namespace normalize::test {

using Bytes = std::vector<unsigned char>;

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // Every file name in the folder, sorted.
  std::vector<std::string> Names() const;

 private:
  std::filesystem::path path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// Runs sox with `args` (no shell: one argument each); fails the test on a non-zero exit.
void Sox(const std::vector<std::string>& args);

// Samples of a WAV file as sox decodes them, as 32-bit signed integers (the
// format's value in the high bits).
std::vector<std::int32_t> SoxSamples(const std::string& path);

// What libebur128 measures in a WAV file as sox decodes it.
struct OracleFigures {
  double integrated_lufs;
  double true_peak_dbtp;
  double max_momentary_lufs;   // polled every 100 ms
  double max_short_term_lufs;
};
OracleFigures Libebur128(const std::string& path, unsigned channels, unsigned rate);

// The true peak in dBTP of a mono WAV file (as sox decodes it) by an ideal
// reconstruction, 16 points a sample: a sinc over 8192 samples to either
// side, at the 400 intervals loudest by a 4x look with 64 taps.
double IdealPeakDb(const std::string& path);

// Mono PCM, 8 or 16 bits, of `shape(t, noise)` at full scale 1 (noise:
// seeded Gaussian, sigma 0.5), `seconds` long at `rate`.
std::string WriteSound(const std::string& path, unsigned rate, unsigned bits, double seconds,
                       const std::function<double(double, double)>& shape);

// A RIFF chunk for hand-built files; `size_field` overrides the real size.
struct RawChunk {
  std::string id;
  Bytes payload;
  std::int64_t size_field = -1;
  bool pad = true;  // write the pad byte after an odd payload
};

Bytes Le16(unsigned value);
Bytes Le32(std::uint32_t value);
Bytes Le64(std::uint64_t value);
Bytes PcmFmt(unsigned tag, unsigned channels, unsigned bits, unsigned block_align = 0, unsigned rate = 8000);
Bytes BuildRiff(const std::vector<RawChunk>& chunks, std::int64_t riff_size_field = -1);
// A broadcast WAV 'bext' payload of `version` with the five loudness fields
// (hundredths; 0x7FFF not set), every other byte made up, and a coding history.
Bytes BextPayload(unsigned version, const std::vector<std::int16_t>& loudness);

// Finds the chunks of a well-formed file: id -> (payload offset, size).
struct FoundChunk {
  std::string id;
  std::size_t offset;
  std::uint64_t size;
};
std::vector<FoundChunk> ListChunks(const Bytes& file);

struct RunResult {
  ExitCode code;
  std::string out;
  std::string err;
};

// Runs the tool in this process on already split arguments; `map_input` false
// reads the input block by block instead of mapping it; `before_replace` runs
// with an input's name just before its result replaces it.
RunResult RunTool(const std::vector<std::string>& args, WriteHook write_hook = {}, bool map_input = true,
                  std::function<void(const std::string&)> before_replace = {});

// The real program, in a process of its own, on a file large enough to be
// caught in the middle: 256 MiB of 16-bit stereo (sparse, so quick to make),
// whose first sample is 1000.
std::string MakeLargeInput(const ScratchDir& dir, const std::string& name = "large.wav",
                           std::uint32_t data_bytes = 256u << 20);
// Waits until the program has begun writing `count` results at once.
bool WaitForTemporary(const ScratchDir& dir, std::size_t count = 1);
// The first 16-bit sample of a file with a 44-byte header (0 if there is none).
std::int16_t FirstSample(const std::string& path);

}  // namespace normalize::test
