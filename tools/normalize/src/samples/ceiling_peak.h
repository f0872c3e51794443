#pragma once
// The peak that a true-peak ceiling is held against: the signal between its
// samples as an ideal band-limited reconstruction gives it, up to half the
// sample rate. Two steps at a bounded cost on any material: the BS.1770
// meter's short interpolator over every interval finds the loudest crests (a few hundred,
// one per local maximum), and LookAtCrests (crest_look.h) then reconstructs
// them with sincs hundreds and thousands of samples long, at 1/8 of a sample
// and then by a search to far finer. Steady tones, whose every crest is as
// loud as the last, cost no more than quiet passages: a crest enters the list
// only when louder than its quietest.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "samples/simd.h"

namespace normalize {

// An interval between two samples where the short interpolation's grid has
// a local maximum: `frame` is its first sample (of the whole file;
// negative before it).
struct Crest {
  std::int64_t frame = 0;
  unsigned channel = 0;
  float estimate = 0;  // the short interpolator's largest magnitude there
};

class CeilingPeakMeter {
 public:
  // The short look is the BS.1770 meter's (TruePeakMeter: 4x below 96 kHz,
  // 2x below 192 kHz), so that one pass gives both; at 192 kHz and above
  // 2x too, where the samples alone hold too few crests of content near
  // Nyquist to find its loudest.
  static constexpr std::size_t kTaps = 12;
  static constexpr std::size_t kHistory = kTaps - 1;
  // The crests kept: the loudest by the short look. An ideal peak sits among
  // them unless more crests than this are all louder by the short look while
  // quieter in truth (the short look reads content near Nyquist up to ~1 dB low).
  static constexpr std::size_t kKept = 64;

  CeilingPeakMeter(double sample_rate, unsigned channels, SimdLevel simd = SimdLevel::kBest);

  // Points a sample.
  unsigned factor() const { return factor_; }

  // `samples` holds kHistory samples of `channel`, then `frames` new ones,
  // the first of which is frame `first_frame` of the file. Every interval
  // from the middle of the first window on is looked at, so the newest
  // kTaps / 2 wait for the next call or for Finish.
  void Process(unsigned channel, const float* samples, std::size_t frames, std::int64_t first_frame);
  // Looks at the intervals that wait, up to the silence after the last
  // sample: `last` holds the channel's kHistory newest samples, and
  // `next_frame` is the frame after them.
  void Finish(unsigned channel, const float* last, std::int64_t next_frame);

  // The kept crests, in no order.
  const std::vector<Crest>& crests() const { return crests_; }
  // Per channel, the short look's largest magnitude over every window given
  // (the samples at the intervals' starts included): the BS.1770 true peak.
  const std::vector<float>& peaks() const { return peaks_; }
  // What a crest must exceed to be kept (0 while fewer than kKept are).
  float threshold() const { return crests_.size() < kKept ? 0.0f : crests_.front().estimate; }

  // No interpolated value exceeds the largest input magnitude of its window times this.
  double Gain() const { return gain_; }

  // The short look's largest magnitude over each window's interval (its
  // first sample and the points between), at most kChunk windows; gives
  // their largest.
  float Estimates(const float* samples, std::size_t frames, float* out);
  static constexpr std::size_t kChunk = 4096;

 private:
  void ProcessChunk(unsigned channel, const float* samples, std::size_t frames, std::int64_t first_frame,
                    bool continued);
  void Keep(const Crest& crest);

  unsigned factor_;
  SimdLevel simd_;
  std::vector<std::vector<float>> phases_;  // the points between samples
  std::vector<float> estimates_;            // of the current call, per window
  std::vector<float> planes_[3];            // the same, each point between samples alone
  std::vector<Crest> crests_;               // a heap, the quietest first
  std::vector<float> peaks_;
  double gain_ = 1;
};

}  // namespace normalize
