// The K-weighting's four stretches side by side against one run from the
// start: every 100 ms power and every figure within 0.001 LU, on materials
// that test the settling (a DC offset, deep bass, a jump from silence),
// at the rates around and beyond the usual ones, and at lengths on either
// side of where two, three and four lanes take over and of their segments'
// borders.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "loudness/k_weighting.h"
#include "loudness/loudness_meter.h"

namespace normalize::test {
namespace {

using Planar = std::vector<std::vector<float>>;

// Two channels of `frames`, different from each other.
Planar Material(const std::string& kind, double rate, std::size_t frames) {
  Planar planar(2, std::vector<float>(frames));
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 0.2);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (std::size_t c = 0; c < 2; ++c) {
      double v = 0;
      if (kind == "noise") {
        v = noise(random) * std::pow(10.0, (-20 + 15 * std::sin(t * (3.0 + c))) / 20);
      } else if (kind == "dc and a quiet tone") {
        v = 0.5 + 0.001 * std::sin(2 * std::numbers::pi * 1000 * t + c);
      } else if (kind == "20 Hz at full scale") {
        v = std::sin(2 * std::numbers::pi * (20 + c) * t);
      } else if (kind == "silence, then loud") {
        v = t < 0.7 ? 0.0 : 0.9 * std::sin(2 * std::numbers::pi * 5000 * t * (1 + c));
      }
      planar[c][i] = static_cast<float>(v);
    }
  }
  return planar;
}

struct Measured {
  std::vector<double> powers;
  std::optional<double> integrated, range, momentary, short_term;
};

// Given in blocks of `block` frames, as the analyzer gives them.
Measured Measure(const Planar& planar, double rate, std::size_t block, SimdLevel simd) {
  LoudnessMeter meter(rate, {1.0, 1.0}, simd);
  const float* channels[2] = {planar[0].data(), planar[1].data()};
  const std::size_t frames = planar[0].size();
  for (std::size_t at = 0; at < frames; at += block) meter.Process(channels, at, std::min(block, frames - at));
  return Measured{meter.segment_powers(), GatedLoudness(meter.BlockPowers(), 0), meter.LoudnessRangeLu(),
                  meter.MaxLoudness(4), meter.MaxLoudness(30)};
}

void ExpectNear(const std::optional<double>& lanes, const std::optional<double>& scalar, const std::string& what) {
  ASSERT_EQ(lanes.has_value(), scalar.has_value()) << what;
  if (scalar) {
    EXPECT_NEAR(*lanes, *scalar, 0.001) << what;
  }
}

TEST(NormalizeKWeightingLanes, FourStretchesMeasureWhatOneRunMeasures) {
  for (const double rate : {4000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
    const auto segment = static_cast<std::size_t>(std::lround(rate / 10));
    const std::size_t settle = KWeightingFilter(rate, 2).settle_frames();
    // The shortest lane: whole segments, at least the settling.
    const std::size_t least_lane = (settle + segment - 1) / segment * segment;
    // On either side of where two, three and four stretches begin.
    const std::vector<std::size_t> lengths = {2 * least_lane - 1, 2 * least_lane,         3 * least_lane + 1,
                                              4 * least_lane - 1, 4 * least_lane + 1,     4 * least_lane + 3 * segment + 7,
                                              4 * (least_lane + segment), static_cast<std::size_t>(6.1 * rate)};
    for (const char* kind : {"noise", "dc and a quiet tone", "20 Hz at full scale", "silence, then loud"}) {
      for (const std::size_t frames : lengths) {
        const Planar planar = Material(kind, rate, frames);
        const Measured scalar = Measure(planar, rate, frames, SimdLevel::kScalar);
        // Whole, and in blocks that start mid-segment (the first on the
        // one-run path up to a segment's border).
        for (const std::size_t block : {frames, frames / 3 + 1}) {
          for (const SimdLevel simd : {SimdLevel::kSse2, SimdLevel::kBest}) {
            const std::string what = std::string(kind) + " at " + std::to_string(rate) + " Hz, " +
                                     std::to_string(frames) + " frames in blocks of " + std::to_string(block);
            const Measured lanes = Measure(planar, rate, block, simd);
            ASSERT_EQ(lanes.powers.size(), scalar.powers.size()) << what;
            for (std::size_t j = 0; j < scalar.powers.size(); ++j) {
              if (scalar.powers[j] == 0) {
                EXPECT_LT(lanes.powers[j], 1e-20) << what << ", segment " << j;
              } else {
                EXPECT_NEAR(10 * std::log10(lanes.powers[j] / scalar.powers[j]), 0, 0.001)
                    << what << ", segment " << j;
              }
            }
            ExpectNear(lanes.integrated, scalar.integrated, what);
            ExpectNear(lanes.range, scalar.range, what);
            ExpectNear(lanes.momentary, scalar.momentary, what);
            ExpectNear(lanes.short_term, scalar.short_term, what);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace normalize::test
