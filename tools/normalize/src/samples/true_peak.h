#pragma once
// True peak: the largest magnitude of the signal between its samples, found
// by oversampling (4x below 96 kHz, 2x below 192 kHz) with windowed-sinc
// polyphase interpolators. The original samples are one of the phases, so the
// true peak is never below the sample peak.
#include <array>
#include <cstddef>
#include <vector>

#include "samples/simd.h"

namespace normalize {

// The phases of a windowed-sinc interpolator with `taps` taps (Kaiser window
// of `beta`) for `factor`-times oversampling: phase p lies p / factor of the
// way from sample taps/2 - 1 to taps/2 of its window. Each sums to 1.
std::vector<std::vector<double>> InterpolationPhases(unsigned factor, std::size_t taps, double beta);

// The largest magnitude of `count` samples.
float LargestMagnitude(const float* samples, std::size_t count);

class TruePeakMeter {
 public:
  // Samples each window reaches back (history to keep between calls).
  static constexpr std::size_t kTaps = 12;
  static constexpr std::size_t kHistory = kTaps - 1;

  TruePeakMeter(double sample_rate, unsigned channels, SimdLevel simd = SimdLevel::kBest);

  unsigned factor() const { return factor_; }

  // `samples` holds kHistory samples of channel `channel` followed by `frames`
  // new ones; every point from the middle of the first window onwards is
  // measured, so the newest kTaps / 2 intervals wait for the next call.
  // Stretches of kStretch windows that cannot beat the channel's peak so
  // far are skipped: `reach[j]`, where given, is at least the largest
  // magnitude stretch j's windows read (else it is found here).
  void Process(unsigned channel, const float* samples, std::size_t frames, const float* reach = nullptr);
  static constexpr std::size_t kStretch = 512;

  // The largest interpolated magnitude so far, per channel (full scale 1).
  const std::vector<float>& peaks() const { return peaks_; }

  // The largest sum of coefficient magnitudes of any phase: no interpolated
  // value exceeds the largest input magnitude times this.
  double Gain() const { return gain_; }

 private:
  float ProcessScalar(const float* samples, std::size_t frames) const;
  float ProcessVector(const float* samples, std::size_t frames) const;

  unsigned factor_;
  SimdLevel simd_;
  std::vector<std::array<float, kTaps>> phases_;  // the phases between samples
  std::vector<float> peaks_;
  double gain_ = 1;
};

}  // namespace normalize
