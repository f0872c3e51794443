// The dithered gain: the same bytes on every vector path and however the
// samples are cut into blocks; zeros and the input's extremes exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "samples/sample_kernel.h"

namespace normalize::test {
namespace {

const SampleFormat kS16{SampleEncoding::kSigned16, 1, 2, 16, 2};
const SampleFormat kU8{SampleEncoding::kUnsigned8, 1, 1, 8, 1};

struct Result {
  std::vector<std::int32_t> out;
  std::uint64_t clipped = 0;
};

// `in` (signed values) through the gain with dither, in calls of `block`
// samples; `extremes`: the input's are known.
Result Dithered(const SampleFormat& format, const std::vector<std::int32_t>& in, double gain, bool extremes,
             std::size_t block, SimdLevel simd) {
  const bool u8 = format.container_bytes == 1;
  std::vector<std::uint8_t> bytes;
  for (const std::int32_t v : in) {
    bytes.push_back(static_cast<std::uint8_t>(u8 ? v + 128 : v));
    if (!u8) bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  Dither dither(42);
  const auto [low, high] = std::minmax_element(in.begin(), in.end());
  if (extremes) dither.low = *low, dither.high = *high;
  std::vector<std::uint8_t> written(bytes.size());
  PeakTracker before;
  Result run;
  for (std::size_t at = 0; at < in.size(); at += block) {
    const std::size_t offset = at * format.container_bytes;
    ApplyGainDithered(format, reinterpret_cast<const std::byte*>(&bytes[offset]), reinterpret_cast<std::byte*>(&written[offset]),
                      std::min(block, in.size() - at), gain, dither, before, run.clipped, simd);
  }
  for (std::size_t i = 0; i < in.size(); ++i) {
    run.out.push_back(u8 ? written[i] - 128 : static_cast<std::int16_t>(written[2 * i] | written[2 * i + 1] << 8));
  }
  return run;
}

TEST(NormalizeDither, EveryPathAndBlockGivesTheSameBoundedResult) {
  std::vector<std::int32_t> s16, u8;  // every value, scrambled
  for (std::int32_t i = 0; i < 2 * 65536; ++i) s16.push_back(static_cast<std::int16_t>(i * 40503));
  for (std::int32_t i = 0; i < 4096; ++i) u8.push_back((i * 97) % 256 - 128);
  const struct {
    const SampleFormat& format;
    const std::vector<std::int32_t>& in;
    double gain;
    bool extremes;
  } cases[] = {
      {kS16, s16, std::pow(10.0, -6 / 20.0), false}, {kS16, s16, -0.7, true}, {kS16, s16, 1.3, true},
      {kU8, u8, 0.33, true},                         {kU8, u8, 2.5, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.gain << (c.extremes ? " extremes" : ""));
    const Result whole = Dithered(c.format, c.in, c.gain, c.extremes, c.in.size(), SimdLevel::kBest);
    for (const std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{4099}}) {
      for (const SimdLevel simd : {SimdLevel::kBest, SimdLevel::kSse2, SimdLevel::kScalar}) {
        const Result split = Dithered(c.format, c.in, c.gain, c.extremes, block, simd);
        ASSERT_EQ(split.out, whole.out) << block << " " << int(simd);
        ASSERT_EQ(split.clipped, whole.clipped);
      }
    }
    const double top = c.format.container_bytes == 1 ? 127 : 32767;
    const auto [low, high] = std::minmax_element(c.in.begin(), c.in.end());
    const double highest = std::min(top, std::nearbyint((c.gain > 0 ? *high : *low) * c.gain));
    std::size_t noisy = 0;
    for (std::size_t i = 0; i < c.in.size(); ++i) {
      const double exact = c.in[i] * c.gain;
      const double plain = std::clamp(std::nearbyint(exact), -top - 1, top);
      const std::int32_t got = whole.out[i];
      const bool kept = c.in[i] == 0 || (c.extremes && (c.in[i] == *low || c.in[i] == *high));
      ASSERT_TRUE(!kept || got == plain) << c.in[i] << " " << got;
      ASSERT_TRUE(!c.extremes || got <= highest) << c.in[i] << " " << got;
      ASSERT_TRUE(std::fabs(exact) > top || std::fabs(got - exact) <= 1.5) << c.in[i] << " " << got;
      noisy += got != plain;
    }
    EXPECT_TRUE(!c.extremes || std::fabs(c.gain) > 1 || whole.clipped == 0) << whole.clipped;
    EXPECT_GT(noisy, c.in.size() / 10);
  }
}

}  // namespace
}  // namespace normalize::test
