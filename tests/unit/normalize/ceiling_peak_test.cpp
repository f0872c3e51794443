// The ceiling's peak meter: its bounds never skip a window that holds the
// peak (every phase of every window computed directly agrees), on every
// vector path, at every rate's factor, refined to 16x near the peak.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "loudness/ceiling_peak.h"
#include "loudness/true_peak.h"

namespace normalize::test {
namespace {

constexpr std::size_t kHistory = CeilingPeakMeter::kHistory;

// Every phase of every window, in double precision, without bounds.
double DirectPeak(const std::vector<float>& signal, unsigned factor) {
  const auto phases = InterpolationPhases(factor, CeilingPeakMeter::kTaps, 8.0);
  double peak = 0;
  for (std::size_t i = 0; i + CeilingPeakMeter::kTaps <= signal.size(); ++i) {
    for (const auto& h : phases) {
      double sum = 0;
      for (std::size_t k = 0; k < h.size(); ++k) sum += h[k] * signal[i + k];
      peak = std::max(peak, std::fabs(sum));
    }
  }
  return peak;
}

TEST(NormalizeCeilingPeak, BoundsSkipNoPeakOnAnyPath) {
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 0.2);
  const auto make = [&](double rate, int kind) {
    // Noise, a tone near Nyquist, and a square wave's edges, in blocks of rising and falling level.
    std::vector<float> signal(kHistory, 0.0f);
    for (int n = 0; n < 6000; ++n) {
      const double level = 0.3 + 0.6 * std::fabs(std::sin(n / 700.0));
      const double t = n / rate;
      const double v = kind == 0 ? noise(random)
                       : kind == 1 ? std::sin(2 * std::numbers::pi * 0.46 * rate * t + 0.4)
                                   : (std::sin(2 * std::numbers::pi * 997 * t) > 0 ? 1 : -1);
      signal.push_back(static_cast<float>(level * v));
    }
    signal.insert(signal.end(), CeilingPeakMeter::kTaps / 2, 0.0f);  // the silence Finish reads
    return signal;
  };
  for (const double rate : {8000.0, 11025.0, 44100.0, 96000.0}) {
    for (int kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, signal " << kind);
      const std::vector<float> signal = make(rate, kind);
      const std::size_t frames = signal.size() - kHistory - CeilingPeakMeter::kTaps / 2;
      for (const SimdLevel simd : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kBest}) {
        CeilingPeakMeter meter(rate, 1000, simd);
        EXPECT_EQ(meter.factor(), static_cast<unsigned>(std::ceil(192000 / rate)));
        for (std::size_t at = 0; at < frames; at += 1000) meter.Process(signal.data() + at, std::min<std::size_t>(1000, frames - at));
        meter.Finish(signal.data() + frames);
        // Near its peak the grid is refined to 16x where it is coarser.
        const double direct = std::max(DirectPeak(signal, meter.factor()),
                                       meter.factor() < 16 ? DirectPeak(signal, 16) : 0.0);
        EXPECT_NEAR(meter.peak(), direct, 1e-5);
      }
    }
  }
}

}  // namespace
}  // namespace normalize::test
