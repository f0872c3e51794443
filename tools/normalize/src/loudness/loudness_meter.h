#pragma once
// Gated loudness from K-weighted channel powers: the integrated loudness
// (400 ms blocks overlapping by 75 %, an absolute gate at -70 LUFS and a
// relative one 10 LU below) and the loudness range (3 s blocks every 100 ms, gates at
// -70 LUFS and 20 LU below, from the 10th to the 95th percentile).
#include <cstddef>
#include <optional>
#include <vector>

#include "loudness/k_weighting.h"

namespace normalize {

// -0.691 + 10 log10(power): the loudness of a weighted mean square.
double LoudnessOf(double power);

// The gated loudness of 400 ms blocks' powers after a gain of `gain_db`:
// nothing when no block passes the absolute gate.
std::optional<double> GatedLoudness(const std::vector<double>& block_powers, double gain_db);

class LoudnessMeter {
 public:
  // `weights` has one entry per channel (0 leaves a channel out).
  LoudnessMeter(double sample_rate, std::vector<double> weights, SimdLevel simd = SimdLevel::kBest);

  // Measures `frames` samples of every channel, `planar[c] + offset` onwards.
  void Process(const float* const* planar, std::size_t offset, std::size_t frames);
  // Runs the filters over samples that come before the part measured, so
  // that their state is what one pass from the file's start would have
  // left; nothing is measured.
  void Settle(const float* const* planar, std::size_t offset, std::size_t frames);

  // The weighted mean square of every 100 ms so far. Those of consecutive
  // parts of a file, one after another, are the whole file's.
  const std::vector<double>& segment_powers() const { return segment_powers_; }

  // The weighted mean square of every 400 ms gating block, in order.
  std::vector<double> BlockPowers() const { return BlockPowersOf(segment_powers_); }
  // Nothing when fewer than two 3 s blocks pass the gates. `step` is the
  // distance between block starts in 100 ms: Tech 3342 asks for one (an
  // overlap of 2.9 s or more); older meters took 10.
  std::optional<double> LoudnessRangeLu(std::size_t step = 1) const {
    return LoudnessRangeOf(segment_powers_, step);
  }
  // The loudness of the loudest block of `segments` 100 ms segments, one
  // starting every 100 ms (4: the maximum momentary loudness, 30: the maximum
  // short-term); nothing when none is complete or all are silent.
  std::optional<double> MaxLoudness(std::size_t segments) const { return MaxLoudnessOf(segment_powers_, segments); }

  // The same from the 100 ms powers of a whole file.
  static std::vector<double> BlockPowersOf(const std::vector<double>& segment_powers);
  static std::optional<double> LoudnessRangeOf(const std::vector<double>& segment_powers, std::size_t step = 1);
  static std::optional<double> MaxLoudnessOf(const std::vector<double>& segment_powers, std::size_t segments);

 private:
  void CloseSegment();
  // Whole segments from the start of one, as many as two to four equal
  // stretches side by side hold; gives the frames measured (0: too few).
  std::size_t ProcessInLanes(const float* const* planar, std::size_t offset, std::size_t frames);

  KWeightingFilter filter_;
  std::vector<double> weights_;
  std::size_t segment_frames_;  // 100 ms
  std::size_t frames_in_segment_ = 0;
  std::vector<double> squares_;         // per channel, this segment so far
  std::vector<double> settle_squares_;  // thrown away
  std::vector<double> lane_squares_;    // per segment and channel
  std::vector<double> segment_powers_;  // weighted sum of each 100 ms segment
};

}  // namespace normalize
