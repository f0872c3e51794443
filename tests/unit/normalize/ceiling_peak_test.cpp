// The ceiling's peak against an ideal band-limited reconstruction (every
// sample's sinc, at 16 points per sample) on the signals where a short
// interpolator reads low: tones close to half the sample rate and bursts of
// white noise, whose peaks depend on samples far away. And each vector path
// of the short look against the scalar one.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "samples/ceiling_peak.h"
#include "samples/crest_look.h"

namespace normalize::test {
namespace {

double IdealPeak16x(const std::vector<float>& x) {
  double peak = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    peak = std::max(peak, std::fabs(static_cast<double>(x[i])));
    for (int p = 1; p < 16; ++p) {
      const double t = static_cast<double>(i) + p / 16.0;
      double sum = 0;
      for (std::size_t k = 0; k < x.size(); ++k) sum += x[k] / (t - static_cast<double>(k)) * (k % 2 ? -1 : 1);
      peak = std::max(peak, std::fabs(sum * std::sin(std::numbers::pi * t) / std::numbers::pi));
    }
  }
  return peak;
}

// The meter over blocks of 700 frames, then the look at its crests.
double CeilingPeak(const std::vector<float>& x, double rate) {
  constexpr std::size_t kHistory = CeilingPeakMeter::kHistory, kBlock = 700;
  std::vector<float> padded(kHistory + x.size(), 0.0f);
  std::copy(x.begin(), x.end(), padded.begin() + kHistory);
  CeilingPeakMeter meter(rate, 1);
  for (std::size_t at = 0; at < x.size(); at += kBlock) {
    meter.Process(0, padded.data() + at, std::min(kBlock, x.size() - at), static_cast<std::int64_t>(at));
  }
  meter.Finish(0, padded.data() + x.size(), static_cast<std::int64_t>(x.size()));
  const double look = LookAtCrests(meter.crests(), [&](unsigned, std::int64_t first, std::size_t count, float* out) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::int64_t at = first + static_cast<std::int64_t>(i);
      out[i] = at >= 0 && at < static_cast<std::int64_t>(x.size()) ? x[static_cast<std::size_t>(at)] : 0.0f;
    }
  });
  double sample_peak = 0;
  for (const float v : x) sample_peak = std::max(sample_peak, std::fabs(static_cast<double>(v)));
  return std::max(sample_peak, look);
}

TEST(NormalizeCeilingPeak, MatchesAnIdealReconstructionNearNyquistAndOnNoiseBursts) {
  struct Case {
    const char* name;
    double cycles_per_sample;  // 0: a white-noise burst
    double phase;
    unsigned seed;
  };
  const Case cases[] = {
      {"tone 0.45", 0.45, 0.3, 0},  {"tone 0.47", 0.47, 0.0, 0},  {"tone 0.49", 0.49, 0.77, 0},
      {"tone 0.495", 0.495, 0.3, 0}, {"noise burst 1", 0, 0, 1},   {"noise burst 2", 0, 0, 2},
      {"noise burst 3", 0, 0, 13},  {"noise burst 4", 0, 0, 15},
  };
  for (const Case& c : cases) {
    std::vector<float> x(1400, 0.0f);
    std::mt19937 random(c.seed);
    std::normal_distribution<double> noise(0, 0.25);
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (c.cycles_per_sample > 0) {
        const double fade = std::sin(std::numbers::pi * static_cast<double>(i) / (x.size() - 1));
        x[i] = static_cast<float>(0.5 * fade * fade * std::sin(2 * std::numbers::pi * c.cycles_per_sample * i + c.phase));
      } else if (i >= 100) {
        // A drum hit: it starts at full strength and dies away.
        x[i] = static_cast<float>(noise(random) * std::exp(-(static_cast<double>(i) - 100) / 250.0));
      }
    }
    const double ideal = IdealPeak16x(x);
    // The rates of each short look: 4, 2 and 1 points a sample.
    for (const double rate : {44100.0, 96000.0, 192000.0}) {
      const double measured = CeilingPeak(x, rate);
      // Never more than 0.03 dB under the ideal, nor needlessly over it.
      EXPECT_GE(20 * std::log10(measured / ideal), -0.03) << c.name << " at " << rate << ": " << measured << " against " << ideal;
      EXPECT_LE(20 * std::log10(measured / ideal), 0.03) << c.name << " at " << rate << ": " << measured << " against " << ideal;
    }
  }
}

TEST(NormalizeCeilingPeak, EveryVectorPathEstimatesAsTheScalarOne) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> any(-1, 1);
  std::vector<float> x(CeilingPeakMeter::kHistory + 1003);
  for (float& v : x) v = any(random);
  std::vector<float> scalar(1003), vector(1003);
  for (const double rate : {44100.0, 96000.0, 192000.0}) {
    CeilingPeakMeter(rate, 1, SimdLevel::kScalar).Estimates(x.data(), 1003, scalar.data());
    for (const SimdLevel simd : {SimdLevel::kSse2, SimdLevel::kBest}) {
      CeilingPeakMeter(rate, 1, simd).Estimates(x.data(), 1003, vector.data());
      for (std::size_t i = 0; i < scalar.size(); ++i) ASSERT_NEAR(vector[i], scalar[i], 1e-6) << rate << ", " << i;
    }
  }
}

}  // namespace
}  // namespace normalize::test
