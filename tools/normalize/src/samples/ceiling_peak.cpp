#include "samples/ceiling_peak.h"

#include <algorithm>
#include <cmath>

#include "samples/true_peak.h"

namespace normalize {
namespace {

constexpr std::size_t kTaps = CeilingPeakMeter::kTaps;
constexpr std::size_t kLeft = kTaps / 2 - 1;  // a window's interval starts at this sample
constexpr double kBeta = 6.0;  // TruePeakMeter's

bool Quieter(const Crest& a, const Crest& b) { return a.estimate > b.estimate; }

float EstimatesScalar(const std::vector<std::vector<float>>& phases, const float* samples, std::size_t frames,
                      float* out, float* const* planes) {
  float peak = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    float largest = std::fabs(samples[i + kLeft]);
    for (std::size_t p = 0; p < phases.size(); ++p) {
      float acc = 0;
      for (std::size_t k = 0; k < kTaps; ++k) acc += phases[p][k] * samples[i + k];
      planes[p][i] = std::fabs(acc);
      largest = std::max(largest, planes[p][i]);
    }
    out[i] = largest;
    peak = std::max(peak, largest);
  }
  return peak;
}

float LargestLane(const float* lanes, std::size_t count) {
  float largest = 0;
  for (std::size_t i = 0; i < count; ++i) largest = std::max(largest, lanes[i]);
  return largest;
}

#ifdef NORMALIZE_SSE2
// Four windows at a time, `P` points between samples; returns how many
// windows it did, and their largest estimate in `peak`.
template <std::size_t P>
std::size_t EstimatesSse2(const std::vector<std::vector<float>>& phases, const float* samples, std::size_t frames,
                          float* out, float* const* planes, float& peak) {
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 top = _mm_setzero_ps();
  std::size_t i = 0;
  for (; i + 4 <= frames; i += 4) {
    const float* window = samples + i;
    __m128 largest = _mm_and_ps(_mm_loadu_ps(window + kLeft), abs_mask);
    if constexpr (P > 0) {
      __m128 a[P];
      for (std::size_t p = 0; p < P; ++p) a[p] = _mm_setzero_ps();
      for (std::size_t k = 0; k < kTaps; ++k) {
        const __m128 x = _mm_loadu_ps(window + k);
        for (std::size_t p = 0; p < P; ++p) a[p] = _mm_add_ps(a[p], _mm_mul_ps(_mm_set1_ps(phases[p][k]), x));
      }
      for (std::size_t p = 0; p < P; ++p) {
        a[p] = _mm_and_ps(a[p], abs_mask);
        _mm_storeu_ps(planes[p] + i, a[p]);
        largest = _mm_max_ps(largest, a[p]);
      }
    }
    top = _mm_max_ps(top, largest);
    _mm_storeu_ps(out + i, largest);
  }
  float lanes[4];
  _mm_storeu_ps(lanes, top);
  peak = LargestLane(lanes, 4);
  return i;
}
#endif

#ifdef NORMALIZE_X86_EXTRAS
template <std::size_t P>
__attribute__((target("avx2,fma"))) std::size_t EstimatesAvx2(const std::vector<std::vector<float>>& phases,
                                                              const float* samples, std::size_t frames, float* out,
                                                              float* const* planes, float& peak) {
  const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
  __m256 top = _mm256_setzero_ps();
  __m256 h[P > 0 ? P : 1][kTaps];
  for (std::size_t p = 0; p < P; ++p) {
    for (std::size_t k = 0; k < kTaps; ++k) h[p][k] = _mm256_set1_ps(phases[p][k]);
  }
  std::size_t i = 0;
  for (; i + 8 <= frames; i += 8) {
    const float* window = samples + i;
    __m256 largest = _mm256_and_ps(_mm256_loadu_ps(window + kLeft), abs_mask);
    if constexpr (P > 0) {
      __m256 a[P];
      for (std::size_t p = 0; p < P; ++p) a[p] = _mm256_setzero_ps();
      for (std::size_t k = 0; k < kTaps; ++k) {
        const __m256 x = _mm256_loadu_ps(window + k);
        for (std::size_t p = 0; p < P; ++p) a[p] = _mm256_fmadd_ps(h[p][k], x, a[p]);
      }
      for (std::size_t p = 0; p < P; ++p) {
        a[p] = _mm256_and_ps(a[p], abs_mask);
        _mm256_storeu_ps(planes[p] + i, a[p]);
        largest = _mm256_max_ps(largest, a[p]);
      }
    }
    top = _mm256_max_ps(top, largest);
    _mm256_storeu_ps(out + i, largest);
  }
  float lanes[8];
  _mm256_storeu_ps(lanes, top);
  peak = LargestLane(lanes, 8);
  return i;
}

// The first window from `from` on whose estimate exceeds `threshold`, eight at a time.
__attribute__((target("avx2"))) std::size_t FirstAboveAvx2(const float* estimates, std::size_t from, std::size_t end,
                                                           float threshold) {
  const __m256 bar = _mm256_set1_ps(threshold);
  for (; from + 8 <= end; from += 8) {
    if (_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(estimates + from), bar, _CMP_GT_OQ)) != 0) return from;
  }
  return from;
}
#endif

}  // namespace

CeilingPeakMeter::CeilingPeakMeter(double sample_rate, unsigned channels, SimdLevel simd)
    : factor_(sample_rate < 96000 ? 4 : 2),
      simd_(simd),
      estimates_(kChunk, 0.0f),
      peaks_(channels, 0.0f) {
  double gain = 1;
  for (const std::vector<double>& h : InterpolationPhases(factor_, kTaps, kBeta)) {
    phases_.emplace_back(h.begin(), h.end());
    double magnitude = 0;
    for (const double tap : h) magnitude += std::fabs(tap);
    gain = std::max(gain, magnitude);
  }
  gain_ = gain * (1 + 1e-5);  // rounded up: the block's skip must err towards looking
  crests_.reserve(kKept);
}

float CeilingPeakMeter::Estimates(const float* samples, std::size_t frames, float* out) {
  if (planes_[0].empty()) {
    for (auto& plane : planes_) plane.assign(kChunk, 0.0f);
  }
  float* const planes[3] = {planes_[0].data(), planes_[1].data(), planes_[2].data()};
  std::size_t i = 0;
  float peak = 0;
  const std::size_t points = phases_.size();
#ifdef NORMALIZE_X86_EXTRAS
  if (simd_ == SimdLevel::kBest && CpuHasAvx2Fma()) {
    i = points == 3   ? EstimatesAvx2<3>(phases_, samples, frames, out, planes, peak)
        : points == 1 ? EstimatesAvx2<1>(phases_, samples, frames, out, planes, peak)
                      : EstimatesAvx2<0>(phases_, samples, frames, out, planes, peak);
  }
#endif
#ifdef NORMALIZE_SSE2
  if (simd_ != SimdLevel::kScalar && i == 0) {
    i = points == 3   ? EstimatesSse2<3>(phases_, samples, frames, out, planes, peak)
        : points == 1 ? EstimatesSse2<1>(phases_, samples, frames, out, planes, peak)
                      : EstimatesSse2<0>(phases_, samples, frames, out, planes, peak);
  }
#endif
  float* const rest[3] = {planes[0] + i, planes[1] + i, planes[2] + i};
  return std::max(peak, EstimatesScalar(phases_, samples + i, frames - i, out + i, rest));
}

// Only a window whose largest point beats the quietest kept crest is looked
// at point by point; on most material a handful per call, found eight at a
// time. Near Nyquist every interval holds a crest of its own, so the local
// maxima are those of the grid's points, not of the windows' largest.
void CeilingPeakMeter::Process(unsigned channel, const float* samples, std::size_t frames, std::int64_t first_frame) {
  // A chunk at a time, so that what the vector pass leaves for the search
  // stays in the cache.
  for (std::size_t done = 0; done < frames; done += kChunk) {
    ProcessChunk(channel, samples + done, std::min(kChunk, frames - done),
                 first_frame + static_cast<std::int64_t>(done), done > 0);
  }
}

void CeilingPeakMeter::ProcessChunk(unsigned channel, const float* samples, std::size_t frames,
                                    std::int64_t first_frame, bool continued) {
  const std::size_t between = phases_.size();
  // The last point of the previous chunk's last window.
  const float carried = continued && between > 0 ? planes_[between - 1][kChunk - 1] : 0.0f;
  float* const e = estimates_.data();
  peaks_[channel] = std::max(peaks_[channel], Estimates(samples, frames, e));
  const std::int64_t first_interval = first_frame - static_cast<std::int64_t>(kHistory - kLeft);
#ifdef NORMALIZE_X86_EXTRAS
  const bool avx2 = simd_ == SimdLevel::kBest && CpuHasAvx2Fma();
#endif
  for (std::size_t i = 0; i < frames; ++i) {
#ifdef NORMALIZE_X86_EXTRAS
    if (avx2) {
      i = FirstAboveAvx2(e, i, frames, threshold());
      if (i == frames) break;
    }
#endif
    if (!(e[i] > threshold())) continue;
    // Points: the last of the window before (0 at the call's start, where a
    // crest may then count twice), the window's own, the next sample.
    float points[6] = {};
    points[0] = between == 0 ? std::fabs(samples[i + kLeft - 1]) : i > 0 ? planes_[between - 1][i - 1] : carried;
    points[1] = std::fabs(samples[i + kLeft]);
    for (std::size_t p = 0; p < between; ++p) points[2 + p] = planes_[p][i];
    points[2 + between] = std::fabs(samples[i + kLeft + 1]);
    for (std::size_t p = 1; p <= 1 + between; ++p) {
      // A plateau counts once, at its end.
      if (points[p] > threshold() && points[p] >= points[p - 1] && points[p] > points[p + 1]) {
        Keep(Crest{first_interval + static_cast<std::int64_t>(i), channel, points[p]});
      }
    }
  }
}

void CeilingPeakMeter::Finish(unsigned channel, const float* last, std::int64_t next_frame) {
  float tail[kHistory + kTaps / 2] = {};
  std::copy(last, last + kHistory, tail);
  Process(channel, tail, kTaps / 2, next_frame);
}

void CeilingPeakMeter::Keep(const Crest& crest) {
  if (crests_.size() == kKept) {
    std::pop_heap(crests_.begin(), crests_.end(), Quieter);
    crests_.pop_back();
  }
  crests_.push_back(crest);
  std::push_heap(crests_.begin(), crests_.end(), Quieter);
}

}  // namespace normalize
