#pragma once
// The peak that a true-peak ceiling is held against: the signal between its
// samples at 192 kHz or more (18x at 11.025 kHz, 5x at 44.1 kHz), with
// interpolators long enough to follow content near Nyquist, as a converter or
// resampler will. Finer than the true peak meters report (4x), which at low
// rates reads up to 2 dB under the signal the result becomes.
#include <cstddef>
#include <vector>

#include "samples/simd.h"

namespace normalize {

class CeilingPeakMeter {
 public:
  static constexpr std::size_t kTaps = 128;
  static constexpr std::size_t kHistory = kTaps - 1;
  static constexpr double kFinestRate = 192000;
  // Near the peak, the grid is refined to this: a grid of 192 kHz alone can
  // read a signal near Nyquist up to 0.4 dB low (at 44.1 kHz).
  static constexpr unsigned kRefinedFactor = 16;

  // `max_frames`: the most frames one call to Process brings.
  CeilingPeakMeter(double sample_rate, std::size_t max_frames, SimdLevel simd = SimdLevel::kBest);

  unsigned factor() const { return factor_; }

  // As TruePeakMeter::Process, for any channel: kHistory samples, then
  // `frames` new ones; the newest kTaps / 2 intervals wait for the next call
  // or for Finish.
  void Process(const float* samples, std::size_t frames);
  // Measures a channel's intervals that wait, up to the silence after its
  // last sample: `last` holds its kHistory newest samples.
  void Finish(const float* last);

  // The largest magnitude between samples so far, of all channels (the one
  // a ceiling is held against, so that a window of one channel below another
  // channel's peak is not looked at); the samples themselves are not included.
  float peak() const { return peak_; }

  // No interpolated value exceeds the largest input magnitude of its window
  // times this.
  double Gain() const { return gain_; }

 private:
  float Measure(const float* samples, std::size_t frames, float peak);
  float PhasesAt(const float* window) const;
  // The four windows from `window` on, where SSE2 is: each one's peak.
  void PhasesAt4(const float* window, float* found) const;
  // `found`: a window's peak on the grid. Where the signal between the grid's
  // points could beat `peak`, the window on the refined grid; gives the new peak.
  float RefineAt(const float* window, float found, float peak) const;

  unsigned factor_;
  SimdLevel simd_;
  std::vector<std::vector<float>> phases_;
  std::vector<std::vector<float>> refined_;  // of kRefinedFactor, where factor_ is less
  // How far a signal up to Nyquist can rise between the grid's points: 1 / cos(pi / (2 factor)).
  float grid_margin_ = 1;
  // The same, each coefficient four times over, four phases after another
  // (the last group filled with zeros): [group][tap][phase in group][lane].
  std::vector<float> quads_;
  std::size_t groups_ = 0;
  // Per tap of the middle kNearTaps, its largest magnitude in any phase. A
  // window's bound: the sum of these times its middle samples' magnitudes,
  // plus far_gain_ times the largest magnitude of the kStretch-sample
  // stretches it touches.
  static constexpr std::size_t kNearTaps = 32;
  static constexpr std::size_t kStretch = 64;
  static constexpr std::size_t kFirstNear = kTaps / 2 - kNearTaps / 2;
  std::vector<float> envelope_;
  std::vector<float> whole_envelope_;  // every tap's largest magnitude, for a closer look at flagged windows
  float far_gain_ = 0;
  std::vector<float> stretch_peaks_;  // of the samples of the current call
  float peak_ = 0;
  double gain_ = 1;
};

}  // namespace normalize
