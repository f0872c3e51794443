#include "samples/true_peak.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>
#include <utility>

#include "samples/simd.h"

namespace normalize {
namespace {

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

// A Kaiser-windowed sinc at `t` samples from the point interpolated.
double Kernel(double t, double half_width, double beta) {
  const double r = t / half_width;
  if (std::fabs(r) >= 1) return 0;
  const double sinc = t == 0 ? 1 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
  return sinc * BesselI0(beta * std::sqrt(1 - r * r)) / BesselI0(beta);
}

#ifdef NORMALIZE_X86_EXTRAS
// The three phases of 4x oversampling over `windows` windows (a multiple of 8).
__attribute__((target("avx2,fma"))) float ThreePhasesAvx2(const std::array<float, TruePeakMeter::kTaps>* phases,
                                                          const float* samples, std::size_t windows) {
  constexpr std::size_t kTaps = TruePeakMeter::kTaps;
  const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
  __m256 h[3][kTaps];
  for (std::size_t p = 0; p < 3; ++p) {
    for (std::size_t k = 0; k < kTaps; ++k) h[p][k] = _mm256_set1_ps(phases[p][k]);
  }
  __m256 peak = _mm256_setzero_ps();
  for (std::size_t i = 0; i < windows; i += 8) {
    const float* window = samples + i;
    __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps(), a2 = _mm256_setzero_ps();
    for (std::size_t k = 0; k < kTaps; ++k) {
      const __m256 x = _mm256_loadu_ps(window + k);
      a0 = _mm256_fmadd_ps(h[0][k], x, a0);
      a1 = _mm256_fmadd_ps(h[1][k], x, a1);
      a2 = _mm256_fmadd_ps(h[2][k], x, a2);
    }
    peak = _mm256_max_ps(peak, _mm256_and_ps(_mm256_loadu_ps(window + kTaps / 2), abs_mask));
    peak = _mm256_max_ps(peak, _mm256_and_ps(a0, abs_mask));
    peak = _mm256_max_ps(peak, _mm256_and_ps(a1, abs_mask));
    peak = _mm256_max_ps(peak, _mm256_and_ps(a2, abs_mask));
  }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, peak);
  float result = 0;
  for (const float lane : lanes) result = std::max(result, lane);
  return result;
}
#endif

std::vector<std::vector<double>> DesignPhases(unsigned factor, std::size_t taps, double beta) {
  std::vector<std::vector<double>> phases;
  for (unsigned p = 1; p < factor; ++p) {
    const double fraction = static_cast<double>(p) / factor;
    std::vector<double> h(taps);
    double sum = 0;
    for (std::size_t k = 0; k < taps; ++k) {
      h[k] = Kernel(static_cast<double>(k) - (static_cast<double>(taps) / 2 - 1) - fraction,
                    static_cast<double>(taps) / 2, beta);
      sum += h[k];
    }
    for (double& tap : h) tap /= sum;  // unity gain at DC
    phases.push_back(std::move(h));
  }
  return phases;
}

}  // namespace

// The same few designs serve every file: each is made once.
std::vector<std::vector<double>> InterpolationPhases(unsigned factor, std::size_t taps, double beta) {
  static std::mutex lock;
  static std::map<std::tuple<unsigned, std::size_t, double>, std::vector<std::vector<double>>> made;
  const std::lock_guard<std::mutex> hold(lock);
  const auto [it, fresh] = made.try_emplace({factor, taps, beta});
  if (fresh) it->second = DesignPhases(factor, taps, beta);
  return it->second;
}

TruePeakMeter::TruePeakMeter(double sample_rate, unsigned channels, SimdLevel simd)
    : factor_(sample_rate < 96000 ? 4 : sample_rate < 192000 ? 2 : 1),
      simd_(simd),
      peaks_(channels, 0.0f) {
  for (const std::vector<double>& h : InterpolationPhases(factor_, kTaps, 6.0)) {
    std::array<float, kTaps> phase{};
    double magnitude = 0;
    for (std::size_t k = 0; k < kTaps; ++k) {
      phase[k] = static_cast<float>(h[k]);
      magnitude += std::fabs(h[k]);
    }
    gain_ = std::max(gain_, magnitude);
    phases_.push_back(phase);
  }
}

float LargestMagnitude(const float* samples, std::size_t count) {
  float largest = 0;
  std::size_t i = 0;
#ifdef NORMALIZE_SSE2
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 a = _mm_setzero_ps(), b = _mm_setzero_ps();
  for (; i + 8 <= count; i += 8) {
    a = _mm_max_ps(a, _mm_and_ps(_mm_loadu_ps(samples + i), abs_mask));
    b = _mm_max_ps(b, _mm_and_ps(_mm_loadu_ps(samples + i + 4), abs_mask));
  }
  float lanes[4];
  _mm_storeu_ps(lanes, _mm_max_ps(a, b));
  largest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
#endif
  for (; i < count; ++i) largest = std::max(largest, std::fabs(samples[i]));
  return largest;
}

// No point of a window exceeds its largest magnitude times Gain(); rounded
// up, so that the skip errs towards looking. Where the stretches' reach is
// known the loudest goes first: the peak then stands near its final height
// at once, and most of the others are skipped.
void TruePeakMeter::Process(unsigned channel, const float* samples, std::size_t frames, const float* reach) {
  const auto gain = static_cast<float>(gain_ * (1 + 1e-5));
  float& peak = peaks_[channel];
  const std::size_t stretches = (frames + kStretch - 1) / kStretch;
  const std::size_t loudest = reach ? static_cast<std::size_t>(std::max_element(reach, reach + stretches) - reach) : 0;
  for (std::size_t n = 0; n < stretches; ++n) {
    // The loudest, then the others in order.
    const std::size_t j = n == 0 ? loudest : n <= loudest ? n - 1 : n;
    const std::size_t done = j * kStretch;
    const std::size_t stretch = std::min(kStretch, frames - done);
    const float* windows = samples + done;
    const float largest = reach ? reach[j] : LargestMagnitude(windows, stretch + kHistory);
    if (!(largest * gain > peak)) continue;
    peak = std::max(peak, simd_ == SimdLevel::kScalar ? ProcessScalar(windows, stretch)
                                                      : ProcessVector(windows, stretch));
  }
}

float TruePeakMeter::ProcessScalar(const float* samples, std::size_t frames) const {
  float peak = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    const float* window = samples + i;
    peak = std::max(peak, std::fabs(window[kTaps / 2]));
    for (const auto& h : phases_) {
      float acc = 0;
      for (std::size_t k = 0; k < kTaps; ++k) acc += h[k] * window[k];
      peak = std::max(peak, std::fabs(acc));
    }
  }
  return peak;
}

float TruePeakMeter::ProcessVector(const float* samples, std::size_t frames) const {
#ifdef NORMALIZE_SSE2
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 peak = _mm_setzero_ps();
  std::size_t i = 0;
#ifdef NORMALIZE_X86_EXTRAS
  float avx2_peak = 0;
  if (phases_.size() == 3 && simd_ == SimdLevel::kBest && CpuHasAvx2Fma()) {
    i = frames / 8 * 8;
    avx2_peak = ThreePhasesAvx2(phases_.data(), samples, i);
  }
  peak = _mm_set1_ps(avx2_peak);
#endif
  if (phases_.size() == 3) {
    // Four windows at once, the three phases sharing each load.
    __m128 h[3][kTaps];
    for (std::size_t p = 0; p < 3; ++p) {
      for (std::size_t k = 0; k < kTaps; ++k) h[p][k] = _mm_set1_ps(phases_[p][k]);
    }
    for (; i + 4 <= frames; i += 4) {
      const float* window = samples + i;
      __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps();
      for (std::size_t k = 0; k < kTaps; ++k) {
        const __m128 x = _mm_loadu_ps(window + k);
        a0 = _mm_add_ps(a0, _mm_mul_ps(h[0][k], x));
        a1 = _mm_add_ps(a1, _mm_mul_ps(h[1][k], x));
        a2 = _mm_add_ps(a2, _mm_mul_ps(h[2][k], x));
      }
      const __m128 centre = _mm_loadu_ps(window + kTaps / 2);
      peak = _mm_max_ps(peak, _mm_and_ps(centre, abs_mask));
      peak = _mm_max_ps(peak, _mm_and_ps(a0, abs_mask));
      peak = _mm_max_ps(peak, _mm_and_ps(a1, abs_mask));
      peak = _mm_max_ps(peak, _mm_and_ps(a2, abs_mask));
    }
  } else {
    for (; i + 4 <= frames; i += 4) {
      const float* window = samples + i;
      peak = _mm_max_ps(peak, _mm_and_ps(_mm_loadu_ps(window + kTaps / 2), abs_mask));
      for (const auto& phase : phases_) {
        __m128 acc = _mm_setzero_ps();
        for (std::size_t k = 0; k < kTaps; ++k) {
          acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(phase[k]), _mm_loadu_ps(window + k)));
        }
        peak = _mm_max_ps(peak, _mm_and_ps(acc, abs_mask));
      }
    }
  }
  float lanes[4];
  _mm_storeu_ps(lanes, peak);
  const float vector_peak = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
  return std::max(vector_peak, ProcessScalar(samples + i, frames - i));
#else
  return ProcessScalar(samples, frames);
#endif
}

}  // namespace normalize
