#pragma once
// The gain pass with the true-peak limiter after the gain: each block's
// frames are decoded for the limiter, which gives every frame its own gain a
// latency later; the gain times that is then applied by the gain pass itself
// (rounding, dither, clamping), so that frames the limiter leaves alone get
// the very bytes a run without it gives them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "samples/dither.h"
#include "samples/peak.h"
#include "samples/peak_limiter.h"
#include "wav/wav_format.h"

namespace normalize {

// How much the limiter took away.
struct LimiterReport {
  double lowest_gain = 1;          // of any frame
  std::uint64_t frames_limited = 0;
  std::uint64_t frames = 0;
};

// The format of LimitedGain::GiveSignal's frames: 32-bit float, the channels
// and rate of `format`.
SampleFormat LimitedSignalFormat(const SampleFormat& format);

class LimitedGain {
 public:
  // `settings.threshold` is of the result: the peaks of the input times
  // `gain` are held to it. Blocks of at most `block_bytes`. The limiter
  // keeps its reading of the input in `keep`, or takes it from `from` (see
  // PeakLimiter).
  LimitedGain(const SampleFormat& format, double gain, LimiterSettings settings, std::size_t block_bytes,
              PeakReading* keep = nullptr, const PeakReading* from = nullptr);

  // Copies a block of whole samples, and nothing else: safe where the block
  // is mapped memory.
  void Take(const std::byte* in, std::size_t bytes);
  // Writes to `out` the samples taken whose gain is known and gives how many
  // bytes that is; `last`: all of them, the gain alone on a frame the data
  // chunk's end cuts short. `out` has room for room().
  std::size_t Give(std::byte* out, bool last, Dither* dither, PeakTracker& before, std::uint64_t& clipped);
  std::size_t room() const { return held_.capacity(); }
  // Give's frames as the limited signal before rounding, interleaved
  // (LimitedSignalFormat), in place of the bytes written; gives the frames.
  std::size_t GiveSignal(std::vector<float>& out, bool last);

  LimiterReport report() const;

 private:
  std::size_t Ready(bool last);
  void Amplify(std::size_t frames, const double* gains, std::byte* out, Dither* dither, PeakTracker& before,
               std::uint64_t& clipped);

  SampleFormat format_;
  double gain_;
  PeakLimiter limiter_;
  std::vector<std::byte> held_;  // bytes given whose gains are not known yet
  std::size_t fed_frames_ = 0;   // of held_'s frames, those the limiter has
  std::vector<std::vector<float>> planes_;
  std::vector<double> gains_;
  std::vector<double> frame_gains_;  // the whole gain of each frame where it moves
  std::vector<std::vector<float>> signal_;  // the frames GiveSignal decodes again
  std::uint64_t frames_ = 0;
};

}  // namespace normalize
