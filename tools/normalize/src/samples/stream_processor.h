#pragma once
// Streams a WAV file through one buffer: a read-only pass for the peak, and
// the pass that writes every chunk in order with the data chunk's samples
// amplified. Nothing is ever loaded whole.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "samples/frame_sink.h"
#include "samples/limited_gain.h"
#include "samples/peak_limiter.h"
#include "samples/sample_kernel.h"
#include "wav/wav_format.h"

namespace normalize {

class ByteSink;
class InputFile;

// Called now and then with the share of the current pass that is done (0..1).
using ProgressFn = std::function<void(const char* pass, double done)>;

struct WriteResult {
  PeakTracker before;         // the input's extremes
  PeakTracker after;          // the written samples' extremes
  std::uint64_t clipped = 0;  // integer samples clamped to their range
  std::uint64_t bytes = 0;    // size of the file written
  bool samples_changed = false;  // some written sample differs from the input's
  std::optional<LimiterReport> limited;  // what the limiter did, where there was one
};

class StreamProcessor {
 public:
  StreamProcessor(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes,
                  ProgressFn progress = {});

  PeakTracker ScanPeak();
  // A read-only pass that feeds every whole frame of the data chunk to `sink`.
  void Measure(FrameSink& sink);
  // From now on Measure feeds what Write would put in the data chunk with
  // `gain`, `dither` (the noise from the file's start each time) and
  // `limit`: the result can be measured before it is written.
  void MeasureResultOf(double gain, std::optional<Dither> dither, std::optional<LimiterSettings> limit = {});
  // From now on Measure feeds the result of `gain` and `limit` before
  // rounding and dither, as LimitedSignalFormat frames: where the format's
  // steps are fine, what those move is far below what a figure shows.
  void MeasureLimitedSignalOf(double gain, const LimiterSettings& limit) {
    result_view_ = ResultView{gain, std::nullopt, limit, true};
  }
  // From now on the limiter's reading of the input (see PeakReading) is kept
  // by the next pass with a limiter, for the passes after it whose gain is at
  // most `most_gain`: they read no samples for it.
  void KeepLimiterReading(double most_gain) {
    most_kept_gain_ = most_gain < 0 ? -most_gain : most_gain;
    reading_.reset();
  }
  // What the limiter did in the last Measure of a result with one.
  const std::optional<LimiterReport>& measured_limiting() const { return measured_limiting_; }
  // Bytes of a chunk other than the data that the result gets in place of
  // the input's (as many as there are), at `offset` in the input.
  void Replace(std::uint64_t offset, std::vector<unsigned char> bytes);
  // Writes the result; with `dither`, the gain pass adds it where it applies
  // (see ApplyGainDithered); with `limit`, the limiter follows the gain.
  WriteResult Write(double gain, ByteSink& out, Dither* dither = nullptr, const LimiterSettings* limit = nullptr);

 private:
  // The size of the RIFF: the top and every chunk, without trailing bytes.
  std::uint64_t OutputSize() const;
  void WriteTop(ByteSink& out, std::uint64_t total);
  void WriteChunkHeader(ByteSink& out, const Chunk& chunk, std::uint32_t size_field);
  void WriteDs64(ByteSink& out, const Chunk& chunk, std::uint64_t total);
  void WriteSamples(ByteSink& out, double gain, Dither* dither, const LimiterSettings* limit, WriteResult& result);
  void CopyBytes(ByteSink& out, std::uint64_t offset, std::uint64_t count);
  // CopyBytes with the replaced bytes in the range.
  void CopyReplacing(ByteSink& out, std::uint64_t offset, std::uint64_t count);
  void WritePad(ByteSink& out, const Chunk& chunk);
  void Report(const char* pass, std::uint64_t done, std::uint64_t total);
  // Calls `compute` on consecutive blocks of the sample region [offset,
  // offset + count), at most buffer_bytes_ each, in the mapped input or else
  // read into buffer_, and `then` with each block's size.
  template <typename Compute, typename Then>
  void ForEachSampleBlock(std::uint64_t offset, std::uint64_t count, Compute compute, Then then);

  InputFile& input_;
  const WavLayout& layout_;
  std::size_t buffer_bytes_;
  std::unique_ptr<std::byte[]> buffer_;
  ProgressFn progress_;
  int reported_percent_ = -1;
  struct Replacement {
    std::uint64_t offset;
    std::vector<unsigned char> bytes;
  };
  std::vector<Replacement> replacements_;  // in order of offset
  struct ResultView {
    double gain;
    std::optional<Dither> dither;
    std::optional<LimiterSettings> limit;
    bool signal = false;  // the limited signal before rounding
  };
  std::optional<ResultView> result_view_;
  std::unique_ptr<std::byte[]> result_buffer_;
  std::vector<std::byte> limited_buffer_;
  std::vector<float> signal_buffer_;
  std::optional<LimiterReport> measured_limiting_;
  double most_kept_gain_ = 0;  // 0: the limiter's reading is not kept
  std::optional<PeakReading> reading_;
  // A limiter for a pass with `gain`, keeping or taking the reading.
  LimitedGain LimitedGainOf(double gain, const LimiterSettings& limit);
};

}  // namespace normalize
