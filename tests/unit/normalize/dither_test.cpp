// The dithered gain: the same bytes on every vector path and however the
// samples are cut into blocks; zeros and the input's extremes exact; the
// error a flat noise of a quarter step squared, unrelated to the signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
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
  if (extremes) {
    dither.low = *std::min_element(in.begin(), in.end());
    dither.high = *std::max_element(in.begin(), in.end());
  }
  std::vector<std::uint8_t> written(bytes.size());
  PeakTracker before;
  Result run;
  for (std::size_t at = 0; at < in.size(); at += block) {
    const std::size_t n = std::min(block, in.size() - at);
    const std::size_t offset = at * format.container_bytes;
    ApplyGainDithered(format, reinterpret_cast<const std::byte*>(&bytes[offset]),
                      reinterpret_cast<std::byte*>(&written[offset]), n, gain, dither, before, run.clipped, simd);
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

// A 1 kHz tone at -70 dBFS turned down 6 dB: the error against the exact
// product. Plain rounding leaves lines at the tone's harmonics; dither a flat
// noise that the tone does not predict.
TEST(NormalizeDither, ErrorIsFlatNoiseOfAQuarterStepSquared) {
  constexpr std::size_t kRate = 48000;  // one second: bin k of a transform is k Hz
  const double gain = std::pow(10.0, -6 / 20.0);
  std::vector<std::int32_t> tone;
  for (std::size_t i = 0; i < kRate; ++i) {
    tone.push_back(std::lround(32768 * std::pow(10.0, -70 / 20.0) * std::sin(2 * std::numbers::pi * 1000 * i / kRate)));
  }
  const auto figures = [&](const std::vector<std::int32_t>& out) {
    std::vector<double> error(kRate);
    double power = 0, cross = 0, signal = 0, harmonic = 0;
    for (std::size_t i = 0; i < kRate; ++i) {
      error[i] = out[i] - tone[i] * gain;
      power += error[i] * error[i];
      cross += error[i] * tone[i];
      signal += double(tone[i]) * tone[i];
    }
    for (int h = 1; h <= 12; ++h) {  // lines against the mean bin power, which is `power`: flat or not
      double re = 0, im = 0;
      for (std::size_t i = 0; i < kRate; ++i) {
        re += error[i] * std::cos(2 * std::numbers::pi * 1000.0 * h * i / kRate);
        im += error[i] * std::sin(2 * std::numbers::pi * 1000.0 * h * i / kRate);
      }
      harmonic = std::max(harmonic, (re * re + im * im) / power);
    }
    return std::vector<double>{power / kRate, std::fabs(cross) / std::sqrt(power * signal), harmonic};
  };
  const std::vector<double> dithered = figures(Dithered(kS16, tone, gain, false, kRate, SimdLevel::kBest).out);
  EXPECT_NEAR(dithered[0], 0.25, 0.03);  // variance
  EXPECT_LT(dithered[1], 0.03);          // correlation with the signal
  EXPECT_LT(dithered[2], 20);            // no line at a harmonic
  std::vector<std::int32_t> plain;
  for (const std::int32_t v : tone) plain.push_back(std::nearbyint(v * gain));
  EXPECT_GT(figures(plain)[2], 1000);
}

}  // namespace
}  // namespace normalize::test
