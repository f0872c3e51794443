// The ceiling's peak meter: its bounds skip no window that holds the peak
// (every phase of every window computed directly agrees), on every vector
// path and rate, the grid refined to 16x where it is coarser.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "loudness/ceiling_peak.h"
#include "loudness/true_peak.h"

namespace normalize::test {
namespace {

double DirectPeak(const std::vector<float>& signal, unsigned factor) {
  double peak = 0;
  for (const auto& h : InterpolationPhases(factor, CeilingPeakMeter::kTaps, 8.0)) {
    for (std::size_t i = 0; i + h.size() <= signal.size(); ++i) {
      double sum = 0;
      for (std::size_t k = 0; k < h.size(); ++k) sum += h[k] * signal[i + k];
      peak = std::max(peak, std::fabs(sum));
    }
  }
  return peak;
}

TEST(NormalizeCeilingPeak, BoundsSkipNoPeakOnAnyPath) {
  constexpr std::size_t kHistory = CeilingPeakMeter::kHistory, kFrames = 6000;
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 0.2);
  for (const double rate : {8000.0, 11025.0, 44100.0, 96000.0}) {
    for (int kind = 0; kind < 3; ++kind) {
      // Noise, a tone near Nyquist and a square wave, at a level that rises and falls;
      // silence before, and after as Finish reads it.
      std::vector<float> signal(kHistory + kFrames + CeilingPeakMeter::kTaps / 2, 0.0f);
      for (std::size_t n = 0; n < kFrames; ++n) {
        const double t = n / rate, level = 0.3 + 0.6 * std::fabs(std::sin(n / 700.0));
        const double v = kind == 0 ? noise(random)
                         : kind == 1 ? std::sin(2 * std::numbers::pi * 0.46 * rate * t + 0.4)
                                     : (std::sin(2 * std::numbers::pi * 997 * t) > 0 ? 1 : -1);
        signal[kHistory + n] = static_cast<float>(level * v);
      }
      for (const SimdLevel simd : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kBest}) {
        CeilingPeakMeter meter(rate, 1000, simd);
        ASSERT_EQ(meter.factor(), static_cast<unsigned>(std::ceil(192000 / rate)));
        for (std::size_t at = 0; at < kFrames; at += 1000) meter.Process(signal.data() + at, 1000);
        meter.Finish(signal.data() + kFrames);
        const double refined = meter.factor() < 16 ? DirectPeak(signal, 16) : 0;
        const double direct = std::max(DirectPeak(signal, meter.factor()), refined);
        EXPECT_NEAR(meter.peak(), direct, 1e-5) << rate << " Hz, signal " << kind;
      }
    }
  }
}

}  // namespace
}  // namespace normalize::test
