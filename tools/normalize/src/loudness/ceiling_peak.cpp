#include "loudness/ceiling_peak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "loudness/true_peak.h"

namespace normalize {
namespace {

constexpr double kBeta = 8.0;
constexpr std::size_t kTaps = CeilingPeakMeter::kTaps;

// The largest of the stretch peaks that windows `first` to `last` touch.
float NearbyPeak(const float* stretch_peaks, std::size_t stretch, std::size_t first, std::size_t last) {
  float largest = 0;
  for (std::size_t s = first / stretch; s <= (last + CeilingPeakMeter::kHistory) / stretch; ++s) {
    largest = std::max(largest, stretch_peaks[s]);
  }
  return largest;
}

#ifdef NORMALIZE_X86_EXTRAS
// `start` plus the sum of `weights` times the distances of `taps` samples
// from `middle`, eight windows at once. Two sums side by side, so that
// neither waits for the other's last step.
__attribute__((target("avx2,fma"))) inline __m256 Distances(const float* weights, const float* from, std::size_t taps,
                                                            __m256 middle, __m256 start) {
  const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
  __m256 even = start, odd = _mm256_setzero_ps();
  for (std::size_t k = 0; k < taps; k += 2) {
    even = _mm256_fmadd_ps(_mm256_set1_ps(weights[k]),
                           _mm256_and_ps(_mm256_sub_ps(_mm256_loadu_ps(from + k), middle), abs_mask), even);
    odd = _mm256_fmadd_ps(_mm256_set1_ps(weights[k + 1]),
                          _mm256_and_ps(_mm256_sub_ps(_mm256_loadu_ps(from + k + 1), middle), abs_mask), odd);
  }
  return _mm256_add_ps(even, odd);
}

// Measure's loop eight windows at a time, over `windows` windows (a multiple
// of 8); `refine(window, found, peak)` as RefineAt.
template <typename Refine>
__attribute__((target("avx2,fma"))) float MeasureAvx2(Refine refine, const std::vector<std::vector<float>>& phases,
                                                      const float* envelope, const float* whole_envelope,
                                                      std::size_t near_taps,
                                                      std::size_t first_near, float far_gain,
                                                      const float* stretch_peaks, std::size_t stretch,
                                                      const float* samples, std::size_t windows, float peak) {
  const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
  for (std::size_t i = 0; i < windows; i += 8) {
    const float* window = samples + i;
    const __m256 middle = _mm256_mul_ps(_mm256_set1_ps(0.5f), _mm256_add_ps(_mm256_loadu_ps(window + kTaps / 2 - 1),
                                                                            _mm256_loadu_ps(window + kTaps / 2)));
    const __m256 far = _mm256_set1_ps(far_gain * NearbyPeak(stretch_peaks, stretch, i, i + 7));
    const __m256 bound = Distances(
        envelope, window + first_near, near_taps, middle,
        _mm256_fmadd_ps(_mm256_set1_ps(1 + far_gain), _mm256_and_ps(middle, abs_mask), far));
    if (_mm256_movemask_ps(_mm256_cmp_ps(bound, _mm256_set1_ps(peak), _CMP_GT_OQ)) == 0) continue;
    // Closer, at a quarter of the phases' cost: every tap against its own sample.
    const __m256 closer = Distances(whole_envelope, window, kTaps, middle, _mm256_and_ps(middle, abs_mask));
    if (_mm256_movemask_ps(_mm256_cmp_ps(closer, _mm256_set1_ps(peak), _CMP_GT_OQ)) == 0) continue;
    __m256 best = _mm256_setzero_ps();
    for (std::size_t p = 0; p < phases.size(); p += 4) {
      const float* h[4];
      for (std::size_t j = 0; j < 4; ++j) h[j] = phases[std::min(p + j, phases.size() - 1)].data();
      __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps(), a2 = _mm256_setzero_ps(), a3 = _mm256_setzero_ps();
      for (std::size_t k = 0; k < kTaps; ++k) {
        const __m256 x = _mm256_loadu_ps(window + k);
        a0 = _mm256_fmadd_ps(_mm256_broadcast_ss(h[0] + k), x, a0);
        a1 = _mm256_fmadd_ps(_mm256_broadcast_ss(h[1] + k), x, a1);
        a2 = _mm256_fmadd_ps(_mm256_broadcast_ss(h[2] + k), x, a2);
        a3 = _mm256_fmadd_ps(_mm256_broadcast_ss(h[3] + k), x, a3);
      }
      const __m256 low = _mm256_max_ps(_mm256_and_ps(a0, abs_mask), _mm256_and_ps(a1, abs_mask));
      const __m256 high = _mm256_max_ps(_mm256_and_ps(a2, abs_mask), _mm256_and_ps(a3, abs_mask));
      best = _mm256_max_ps(best, _mm256_max_ps(low, high));
    }
    float lanes[8];
    _mm256_storeu_ps(lanes, best);
    for (std::size_t w = 0; w < 8; ++w) peak = refine(window + w, lanes[w], peak);
  }
  return peak;
}
#endif

// The largest magnitude of every `stretch` samples of `count`.
void LargestPerStretch(const float* samples, std::size_t count, std::size_t stretch, float* out) {
  for (std::size_t s = 0; s * stretch < count; ++s) {
    const std::size_t end = std::min(count, (s + 1) * stretch);
    std::size_t k = s * stretch;
    float largest = 0;
#ifdef NORMALIZE_SSE2
    const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 lanes = _mm_setzero_ps();
    for (; k + 4 <= end; k += 4) lanes = _mm_max_ps(lanes, _mm_and_ps(_mm_loadu_ps(samples + k), abs_mask));
    float four[4];
    _mm_storeu_ps(four, lanes);
    largest = std::max(std::max(four[0], four[1]), std::max(four[2], four[3]));
#endif
    for (; k < end; ++k) largest = std::max(largest, std::fabs(samples[k]));
    out[s] = largest;
  }
}

}  // namespace

CeilingPeakMeter::CeilingPeakMeter(double sample_rate, std::size_t max_frames, SimdLevel simd)
    : factor_(static_cast<unsigned>(std::max(1.0, std::ceil(kFinestRate / sample_rate)))),
      simd_(simd),
      envelope_(kNearTaps, 0.0f),
      stretch_peaks_((std::max(max_frames, kTaps / 2) + kHistory) / kStretch + 1, 0.0f) {
  std::vector<double> largest(kTaps, 0.0);
  for (const std::vector<double>& h : InterpolationPhases(factor_, kTaps, kBeta)) {
    phases_.emplace_back(h.begin(), h.end());
    for (std::size_t k = 0; k < kTaps; ++k) largest[k] = std::max(largest[k], std::fabs(h[k]));
  }
  gain_ = 0;
  double far = 0;
  for (std::size_t k = 0; k < kTaps; ++k) {
    // Rounded up, so that the bounds' float sums err high.
    const auto rounded_up = static_cast<float>(largest[k] * (1 + 1e-5));
    whole_envelope_.push_back(rounded_up);
    gain_ += largest[k];
    if (k >= kFirstNear && k < kFirstNear + kNearTaps) {
      envelope_[k - kFirstNear] = rounded_up;
    } else {
      far += largest[k];
    }
  }
  far_gain_ = static_cast<float>(far * (1 + 1e-5));
  if (factor_ < kRefinedFactor) {
    for (const std::vector<double>& h : InterpolationPhases(kRefinedFactor, kTaps, kBeta)) {
      refined_.emplace_back(h.begin(), h.end());
    }
    grid_margin_ = static_cast<float>(1 / std::cos(std::numbers::pi / (2 * factor_)));
  }
  groups_ = (phases_.size() + 3) / 4;
  quads_.assign(groups_ * kTaps * 16, 0.0f);
  for (std::size_t p = 0; p < phases_.size(); ++p) {
    for (std::size_t k = 0; k < kTaps; ++k) {
      float* lanes = &quads_[((p / 4 * kTaps + k) * 4 + p % 4) * 4];
      std::fill(lanes, lanes + 4, phases_[p][k]);
    }
  }
}

void CeilingPeakMeter::Process(const float* samples, std::size_t frames) {
  if (!phases_.empty()) peak_ = Measure(samples, frames, peak_);
}

void CeilingPeakMeter::Finish(const float* last) {
  float tail[kHistory + kTaps / 2] = {};
  std::copy(last, last + kHistory, tail);
  Process(tail, kTaps / 2);
}

float CeilingPeakMeter::RefineAt(const float* window, float found, float peak) const {
  if (found * grid_margin_ <= peak) return peak;
  for (const std::vector<float>& h : refined_) {
    float acc = 0;
    for (std::size_t k = 0; k < kTaps; ++k) acc += h[k] * window[k];
    found = std::max(found, std::fabs(acc));
  }
  return std::max(peak, found);
}

float CeilingPeakMeter::PhasesAt(const float* window) const {
  float peak = 0;
  for (const std::vector<float>& h : phases_) {
    float acc = 0;
    for (std::size_t k = 0; k < kTaps; ++k) acc += h[k] * window[k];
    peak = std::max(peak, std::fabs(acc));
  }
  return peak;
}

void CeilingPeakMeter::PhasesAt4(const float* window, float* found) const {
#ifdef NORMALIZE_SSE2
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 peak = _mm_setzero_ps();
  // Four phases at a time share each load, and their sums run side by side.
  for (std::size_t g = 0; g < groups_; ++g) {
    const float* h = &quads_[g * kTaps * 16];
    __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(), a3 = _mm_setzero_ps();
    for (std::size_t k = 0; k < kTaps; ++k, h += 16) {
      const __m128 x = _mm_loadu_ps(window + k);
      a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_loadu_ps(h), x));
      a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_loadu_ps(h + 4), x));
      a2 = _mm_add_ps(a2, _mm_mul_ps(_mm_loadu_ps(h + 8), x));
      a3 = _mm_add_ps(a3, _mm_mul_ps(_mm_loadu_ps(h + 12), x));
    }
    peak = _mm_max_ps(peak, _mm_max_ps(_mm_max_ps(_mm_and_ps(a0, abs_mask), _mm_and_ps(a1, abs_mask)),
                                       _mm_max_ps(_mm_and_ps(a2, abs_mask), _mm_and_ps(a3, abs_mask))));
  }
  _mm_storeu_ps(found, peak);
#else
  for (std::size_t w = 0; w < 4; ++w) found[w] = PhasesAt(window + w);
#endif
}

// Most windows cannot beat the peak found so far, and their bound says so at
// a fraction of the cost of every phase. Every phase sums to 1, so it is the
// middle of its two nearest samples plus its taps times each sample's
// distance from that middle: the middle taps, which carry most of the weight,
// against those distances, which are small where the signal is smooth, the
// far ones against the largest sample near the window (plus the middle).
float CeilingPeakMeter::Measure(const float* samples, std::size_t frames, float peak) {
  LargestPerStretch(samples, frames + kHistory, kStretch, stretch_peaks_.data());
  const auto far = [&](std::size_t first, std::size_t windows) {
    return far_gain_ * NearbyPeak(stretch_peaks_.data(), kStretch, first, first + windows - 1);
  };
  std::size_t i = 0;
#ifdef NORMALIZE_X86_EXTRAS
  if (simd_ == SimdLevel::kBest && CpuHasAvx2Fma()) {
    i = frames / 8 * 8;
    const auto refine = [this](const float* window, float found, float known) {
      return RefineAt(window, found, known);
    };
    peak = MeasureAvx2(refine, phases_, envelope_.data(), whole_envelope_.data(), kNearTaps, kFirstNear, far_gain_,
                       stretch_peaks_.data(), kStretch, samples, i, peak);
  }
#endif
#ifdef NORMALIZE_SSE2
  if (simd_ != SimdLevel::kScalar) {
    const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 e[kNearTaps];
    for (std::size_t k = 0; k < kNearTaps; ++k) e[k] = _mm_set1_ps(envelope_[k]);
    for (; i + 4 <= frames; i += 4) {
      const float* near = samples + i + kFirstNear;
      const __m128 middle = _mm_mul_ps(_mm_set1_ps(0.5f), _mm_add_ps(_mm_loadu_ps(samples + i + kTaps / 2 - 1),
                                                                     _mm_loadu_ps(samples + i + kTaps / 2)));
      __m128 sums[2] = {_mm_add_ps(_mm_set1_ps(far(i, 4)),
                                   _mm_mul_ps(_mm_set1_ps(1 + far_gain_), _mm_and_ps(middle, abs_mask))),
                        _mm_setzero_ps()};
      for (std::size_t k = 0; k < kNearTaps; ++k) {
        const __m128 x = _mm_sub_ps(_mm_loadu_ps(near + k), middle);
        sums[k % 2] = _mm_add_ps(sums[k % 2], _mm_mul_ps(e[k], _mm_and_ps(x, abs_mask)));
      }
      const __m128 bound = _mm_add_ps(sums[0], sums[1]);
      if (_mm_movemask_ps(_mm_cmpgt_ps(bound, _mm_set1_ps(peak))) != 0) {
        float found[4];
        PhasesAt4(samples + i, found);
        for (std::size_t w = 0; w < 4; ++w) peak = RefineAt(samples + i + w, found[w], peak);
      }
    }
  }
#endif
  for (; i < frames; ++i) {
    const float middle = 0.5f * (samples[i + kTaps / 2 - 1] + samples[i + kTaps / 2]);
    float bound = far(i, 1) + (1 + far_gain_) * std::fabs(middle);
    for (std::size_t k = 0; k < kNearTaps; ++k) {
      bound += envelope_[k] * std::fabs(samples[i + kFirstNear + k] - middle);
    }
    if (bound > peak) peak = RefineAt(samples + i, PhasesAt(samples + i), peak);
  }
  return peak;
}

}  // namespace normalize
