// The 16-bit loops have vector paths for whole groups of samples (and, for
// the gain, one for runs that cannot clip) and scalar ones for the rest; they
// must agree on every input value, and every integer result must be the
// nearest value to the product computed in double.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "samples/sample_kernel.h"

namespace normalize::test {
namespace {

struct Result {
  std::vector<std::int16_t> samples;
  PeakTracker before;
  std::uint64_t clipped = 0;
};

TEST(NormalizeSampleKernel, VectorAndScalarPathsRoundEvery16BitValueExactly) {
  const SampleFormat format{SampleEncoding::kSigned16, 2, 2, 16, 4};
  std::vector<std::int16_t> all(65536);
  for (int v = -32768; v <= 32767; ++v) all[static_cast<std::size_t>(v + 32768)] = static_cast<std::int16_t>(v);
  // Ratios, levels (-a -6, -a 3, -a 6, -a 7), a -m gain, exact halves (ties
  // round to even), sign flips that overflow full scale, and a gain that clips
  // nearly everything.
  const double gains[] = {2, -4, -1, 1, 0.5, 1.5, std::pow(10.0, -6 / 20.0), std::pow(10.0, 3 / 20.0),
                          std::pow(10.0, 6 / 20.0), std::pow(10.0, 7 / 20.0), 1 / 0.25118864315095801, 1e6};
  for (const double gain : gains) {
    SCOPED_TRACE(gain);
    // The exact product, rounded half to even and clamped: the reference.
    std::vector<std::int16_t> expected(all.size());
    std::uint64_t clamps = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
      const double exact = std::nearbyint(all[i] * gain);
      clamps += exact < -32768 || exact > 32767;
      expected[i] = static_cast<std::int16_t>(exact < -32768 ? -32768 : exact > 32767 ? 32767 : exact);
    }
    // The whole table at once, out of place and in place (writing over the
    // input must change nothing), on each path: AVX2 where there is one, SSE2
    // and scalar.
    for (const SimdLevel simd : {SimdLevel::kBest, SimdLevel::kSse2, SimdLevel::kScalar}) {
      SCOPED_TRACE(static_cast<int>(simd));
      Result whole{std::vector<std::int16_t>(all.size()), {}, 0};
      ApplyGain(format, reinterpret_cast<const std::byte*>(all.data()),
                reinterpret_cast<std::byte*>(whole.samples.data()), all.size(), gain, whole.before, whole.clipped,
                simd);
      Result in_place{all, {}, 0};
      ApplyGain(format, reinterpret_cast<const std::byte*>(in_place.samples.data()),
                reinterpret_cast<std::byte*>(in_place.samples.data()), all.size(), gain, in_place.before,
                in_place.clipped, simd);
      for (const Result* result : {&whole, &in_place}) {
        for (std::size_t i = 0; i < all.size(); ++i) ASSERT_EQ(result->samples[i], expected[i]) << all[i];
        EXPECT_EQ(result->clipped, clamps);
        EXPECT_EQ(result->before.min, -32768);
        EXPECT_EQ(result->before.max, 32767);
      }
    }
    // One sample at a time, the rest that no vector takes.
    Result single{all, {}, 0};
    for (std::int16_t& s : single.samples) {
      auto* p = reinterpret_cast<std::byte*>(&s);
      ApplyGain(format, p, p, 1, gain, single.before, single.clipped);
    }
    ASSERT_EQ(single.samples, expected);
    EXPECT_EQ(single.clipped, clamps);
  }
}

TEST(NormalizeSampleKernel, Every8BitValueRoundsExactly) {
  const SampleFormat format{SampleEncoding::kUnsigned8, 1, 1, 8, 1};
  std::vector<std::uint8_t> all(256);
  for (int v = 0; v < 256; ++v) all[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v);
  for (const double gain : {std::pow(10.0, 3 / 20.0), std::pow(10.0, 6 / 20.0), std::pow(10.0, -5 / 20.0), -0.7}) {
    SCOPED_TRACE(gain);
    std::vector<std::uint8_t> out(all.size());
    PeakTracker before;
    std::uint64_t clipped = 0;
    ApplyGain(format, reinterpret_cast<const std::byte*>(all.data()), reinterpret_cast<std::byte*>(out.data()),
              all.size(), gain, before, clipped);
    for (int v = 0; v < 256; ++v) {
      const double exact = std::clamp(std::nearbyint((v - 128) * gain), -128.0, 127.0);
      ASSERT_EQ(out[static_cast<std::size_t>(v)] - 128, exact) << v;
    }
  }
}

TEST(NormalizeSampleKernel, PeakScanFindsTheExtremesOfAnyStretch) {
  const SampleFormat format{SampleEncoding::kSigned16, 1, 2, 16, 2};
  std::vector<std::int16_t> ramp(70000);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(int(i % 65536) - 32768);
  const struct {
    std::size_t begin, count;
    double min, max;  // the scan starts from 0, the silence before the file
  } cases[] = {
      {0, 65536, -32768, 32767},  {1, 7, -32767, 0},         {32768, 1, 0, 0},
      {32769, 15, 0, 15},         {100, 32000, -32668, 0},   {40000, 25536, 0, 32767},
      {65535, 3, -32768, 32767},  {65530, 4470, -32768, 32767},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.begin);
    PeakTracker peak;
    ScanPeak(format, reinterpret_cast<const std::byte*>(ramp.data() + c.begin), c.count, peak);
    EXPECT_EQ(peak.min, c.min);
    EXPECT_EQ(peak.max, c.max);
  }
}

}  // namespace
}  // namespace normalize::test
