#pragma once
// A look-ahead true-peak limiter: it finds the gain of every frame, which
// the write path applies. The peak of every interval between two
// samples is read with the BS.1770 meter's oversampling interpolator (the
// ceiling meter's short look), and where that reads a crest near the
// threshold, by the ceiling's close look, a sinc over hundreds of samples
// (the short look reads content near Nyquist low); where it is over the threshold, the gain that
// brings it there is needed by every sample that interpolator reaches. The
// gain is the least needed over a window ahead, so that it is reached before
// the peak: two moving averages over the attack turn each step down into an
// S-shaped slope that lands on the needed gain no later than the peak, never
// below it; after a hold, the gain returns to unity exponentially over the
// release. One gain for every channel, so the image stays where it is.
//
// Deterministic everywhere: the interpolator runs without fused
// multiply-adds whatever the processor, and the averages are sums of whole
// numbers. Where nothing needs limiting the gain is exactly 1 and every
// sample passes through unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "samples/ceiling_peak.h"

namespace normalize {

struct LimiterSettings {
  double threshold = 1;          // the interpolated peaks are held to this (full scale 1)
  double attack_ms = 3;          // the slope down to a peak, all of it before the peak
  double hold_ms = 10;           // the gain kept after a peak before release starts
  double release_ms = 100;       // the time constant of the way back to unity
  double most_reduction_db = 6;  // never a deeper cut than this, whatever a peak needs
};

// What the limiter's two looks read of a file, which is the same at any gain:
// every interval whose short look reads above `floor`, and at each local
// maximum of those the close look per channel. Kept by one pass, it spares
// the passes after it (at thresholds whose close-look bar is no lower) all
// reading of samples.
struct PeakReading {
  struct Kept {
    std::int64_t interval;
    float linked;         // the short look's largest over the channels
    std::int32_t crests;  // at a local maximum: where its channels' pairs start in `crests`; else -1
  };
  double floor = 0;
  std::vector<Kept> kept;  // in order of interval
  // Per channel: the short look's estimate, and the close look's peak where
  // that is over the floor (else 0).
  std::vector<double> crests;
  bool complete = false;  // the whole file was read, and no more than kMostKept kept
  static constexpr std::size_t kMostKept = std::size_t{1} << 21;
};

class PeakLimiter {
 public:
  // Either keeps what it reads in `keep`, or reads nothing and takes it from
  // `from` where that is complete and was kept for this threshold or a
  // lower one (see NearOf).
  PeakLimiter(double sample_rate, unsigned channels, const LimiterSettings& settings, PeakReading* keep = nullptr,
              const PeakReading* from = nullptr);

  // The bar over which the short look's crests are looked at closely, for a threshold.
  static double NearOf(double threshold);
  // False where the limiter takes its reading from an earlier pass.
  bool reads_samples() const { return from_ == nullptr; }

  // Takes `frames` frames, one plane per channel; writes to `gains` the gain
  // of each frame that is ready (from latency() frames back on) and gives
  // their count. `gains` has room for `frames` + latency().
  std::size_t Process(const float* const* planes, std::size_t frames, double* gains);
  // The gains of the frames still held back, as the silence after the last
  // frame gives them; gives their count.
  std::size_t Finish(double* gains);

  std::size_t latency() const { return latency_; }
  // The lowest gain applied to any output frame so far (1: none limited).
  double lowest_gain() const { return lowest_gain_; }
  // How many output frames had a gain more than 0.1 dB below 1.
  std::uint64_t frames_limited() const { return frames_limited_; }

 private:
  static constexpr std::int64_t kUnity = std::int64_t{1} << 31;  // gain 1 in the averages' units

  // `planes` null: silence.
  void Run(const float* const* planes, std::size_t frames, double* gains, std::size_t& produced);
  void EstimatesNear(const float* samples, std::size_t n, float* out);
  double NeedOf(std::int64_t interval);
  double Keep(std::int64_t interval, float linked, bool local_max);
  double KeptPeak(std::int64_t interval);
  double NeedAt(double peak) const;
  void Forget();
  template <typename NeedOfInterval>
  void Shape(std::int64_t end, NeedOfInterval need_of, double* gains, std::size_t& produced);

  unsigned channels_;
  LimiterSettings settings_;
  double least_gain_;              // most_reduction_db as a gain
  double release_step_;            // share of the way back to unity per frame
  std::size_t attack1_, attack2_;  // the two averages' lengths
  std::int64_t ahead_, behind_;    // the window of needs a frame's gain takes the least of
  std::size_t latency_;

  double near_;  // a crest the short look reads above this is looked at closely
  CeilingPeakMeter look_;
  float reach_gain_;  // no window's estimate exceeds its largest sample times this
  // Per channel: the samples from frame recent_first_ on, the short look's
  // estimates of the intervals from short_first_ on.
  std::vector<std::vector<float>> recent_, short_;
  std::int64_t recent_first_, short_first_;
  std::int64_t given_;     // the frame after the last given
  float last_linked_ = 0;  // the estimate of the interval before next_need_
  std::vector<float> estimates_;
  PeakReading* keep_;
  const PeakReading* from_;
  double bar_;                  // where the short look reads nothing lower, zeros
  std::size_t from_at_ = 0;     // in from_->kept, the next interval's place

  std::int64_t next_need_;                             // the interval whose need comes next
  // Rising needs, of intervals in order: a ring of a power of two entries,
  // [least_first_, least_end_) counted without wrapping.
  std::vector<std::pair<std::int64_t, double>> least_;
  std::size_t least_mask_ = 0, least_first_ = 0, least_end_ = 0;
  std::int64_t next_frame_ = 0;                        // the frame whose gain comes next
  double released_ = 1;
  std::vector<std::int64_t> ring1_, ring2_;
  std::size_t at1_ = 0, at2_ = 0;
  std::int64_t sum1_, sum2_, full_;

  double lowest_gain_ = 1;
  std::uint64_t frames_limited_ = 0;
};

}  // namespace normalize
