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

  // The weighted mean square of every 400 ms gating block, in order.
  std::vector<double> BlockPowers() const { return Blocks(4, 1); }
  // Nothing when fewer than two 3 s blocks pass the gates. `step` is the
  // distance between block starts in 100 ms: Tech 3342 asks for one (an
  // overlap of 2.9 s or more); older meters took 10.
  std::optional<double> LoudnessRangeLu(std::size_t step = 1) const;
  // The loudness of the loudest block of `segments` 100 ms segments, one
  // starting every 100 ms (4: the maximum momentary loudness, 30: the maximum
  // short-term); nothing when none is complete or all are silent.
  std::optional<double> MaxLoudness(std::size_t segments) const;

 private:
  void CloseSegment();
  // Weighted mean squares of the blocks of `length` segments, one block
  // starting every `step` segments (the 400 ms blocks: 4, 1; the 3 s blocks
  // of the loudness range: 30, 1).
  std::vector<double> Blocks(std::size_t length, std::size_t step) const;

  KWeightingFilter filter_;
  std::vector<double> weights_;
  std::size_t segment_frames_;  // 100 ms
  std::size_t frames_in_segment_ = 0;
  std::vector<double> squares_;         // per channel, this segment so far
  std::vector<double> segment_powers_;  // weighted sum of each 100 ms segment
};

}  // namespace normalize
