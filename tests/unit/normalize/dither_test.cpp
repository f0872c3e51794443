// The dithered gain: the same bytes on every vector path and however the
// samples are cut into blocks; zeros and the input's extremes exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "samples/frame_gain.h"
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

// The limiter's gain per frame: each frame the bytes, extremes, clamps and
// noise of one call at its gain, whatever the gain (whole numbers, near 1,
// beyond the range) and the format.
TEST(NormalizeDither, AGainPerFrameGivesEachFrameTheBytesOfOneCallAtItsGain) {
  const SampleFormat s16_stereo{SampleEncoding::kSigned16, 2, 2, 16, 4};
  const SampleFormat s12{SampleEncoding::kSigned16, 1, 2, 12, 2};
  const double odd[] = {2, -1, 1 + 1e-7, 1, 300, 0.5};
  std::mt19937 random(3);
  for (const SampleFormat& format : {s16_stereo, s12, kU8}) {
    for (const int extremes : {0, 1, 2}) {  // none, known, no dither at all
      std::vector<std::uint8_t> in(4000 * format.block_align);
      for (auto& b : in) b = static_cast<std::uint8_t>(random());
      for (std::size_t i = 0, k = 0; i < in.size(); i += 13 * format.container_bytes, ++k) {  // full scale, often
        const std::uint8_t top = k % 2 ? 0x80 : 0x7F, rest = k % 2 ? 0x00 : 0xFF;
        if (format.container_bytes == 1) in[i] = rest;
        else in[i] = rest, in[i + 1] = top;
      }
      const std::size_t frames = in.size() / format.block_align;
      std::vector<double> gains(frames);
      for (std::size_t f = 0; f < frames; ++f) {
        gains[f] = f % 50 < 6 ? odd[f % 50] : std::uniform_real_distribution<double>(-3, 3)(random);
      }
      Dither one(7), each(7);
      if (extremes == 1) {  // the data's own, as a loudness run knows them
        std::int32_t low = 0, high = 0;
        for (std::size_t i = 0; i < in.size(); i += format.container_bytes) {
          const std::int32_t v = format.container_bytes == 1 ? in[i] - 128 : std::int16_t(in[i] | in[i + 1] << 8);
          low = std::min(low, v), high = std::max(high, v);
        }
        one.low = each.low = low, one.high = each.high = high;
      }
      std::vector<std::uint8_t> got(in.size()), want(in.size());
      PeakTracker got_before, want_before;
      std::uint64_t got_clipped = 0, want_clipped = 0;
      const auto* from = reinterpret_cast<const std::byte*>(in.data());
      ApplyFrameGains(format, from, reinterpret_cast<std::byte*>(got.data()), frames, gains.data(),
                      extremes == 2 ? nullptr : &one, got_before, got_clipped);
      for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t at = f * format.block_align;
        auto* to = reinterpret_cast<std::byte*>(want.data() + at);
        if (extremes == 2) {
          ApplyGain(format, from + at, to, format.channels, gains[f], want_before, want_clipped);
        } else {
          ApplyGainDithered(format, from + at, to, format.channels, gains[f], each, want_before, want_clipped);
        }
      }
      SCOPED_TRACE(testing::Message() << format.valid_bits << " bits, " << format.channels << " channels, " << extremes);
      EXPECT_EQ(got, want);
      EXPECT_EQ(got_clipped, want_clipped);
      EXPECT_GT(got_clipped, 0u);
      EXPECT_EQ(got_before.min, want_before.min);
      EXPECT_EQ(got_before.max, want_before.max);
      EXPECT_EQ(one.noise.Next(), each.noise.Next());
    }
  }
}

}  // namespace
}  // namespace normalize::test
