// The dithered gain: the same bytes on every vector path and however the
// samples are cut into blocks; zeros and the input's extremes undithered; the
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

// The gain applied to `in` (samples of `format`), with dither of `seed`, in
// calls of `block` samples; `extremes` also holds the input's.
std::vector<std::uint8_t> Dithered(const SampleFormat& format, const std::vector<std::uint8_t>& in, double gain,
                                   bool extremes, std::size_t block, SimdLevel simd, std::uint64_t* clipped = nullptr) {
  Dither dither(42);
  const std::size_t bytes = format.container_bytes;
  if (extremes) {
    PeakTracker all;
    ScanPeak(format, reinterpret_cast<const std::byte*>(in.data()), in.size() / bytes, all);
    dither.low = static_cast<std::int32_t>(all.min);
    dither.high = static_cast<std::int32_t>(all.max);
  }
  std::vector<std::uint8_t> out(in.size());
  PeakTracker before;
  std::uint64_t clamps = 0;
  for (std::size_t at = 0; at < in.size(); at += block * bytes) {
    const std::size_t count = std::min(block, (in.size() - at) / bytes);
    ApplyGainDithered(format, reinterpret_cast<const std::byte*>(in.data() + at),
                      reinterpret_cast<std::byte*>(out.data() + at), count, gain, dither, before, clamps, simd);
  }
  if (clipped) *clipped = clamps;
  return out;
}

std::int32_t At(const SampleFormat& format, const std::vector<std::uint8_t>& bytes, std::size_t i) {
  if (format.container_bytes == 1) return bytes[i] - 128;
  return static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

TEST(NormalizeDither, EveryPathAndBlockGivesTheSameBoundedResult) {
  // Every value of each format, twice, in a scrambled order.
  std::vector<std::uint8_t> s16;
  for (std::uint32_t i = 0; i < 2 * 65536; ++i) {
    const std::uint32_t v = (i * 40503u) & 0xFFFF;
    s16.push_back(static_cast<std::uint8_t>(v));
    s16.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  // Nothing above zero: the high extreme is zero, which stays zero.
  std::vector<std::uint8_t> s16_below;
  for (std::uint32_t i = 0; i < 40000; ++i) {
    const auto v = static_cast<std::uint16_t>(-static_cast<std::int32_t>(i * 7919u % 20000u));
    s16_below.push_back(static_cast<std::uint8_t>(v));
    s16_below.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  std::vector<std::uint8_t> u8;
  for (std::uint32_t i = 0; i < 4096; ++i) u8.push_back(static_cast<std::uint8_t>(i * 97));
  const struct {
    const SampleFormat* format;
    const std::vector<std::uint8_t>* in;
    double gain;
    bool extremes;
  } cases[] = {
      {&kS16, &s16, std::pow(10.0, -6 / 20.0), false}, {&kS16, &s16, std::pow(10.0, -6 / 20.0), true},
      {&kS16, &s16, -0.7, true},                       {&kS16, &s16, 1.3, false},
      {&kS16, &s16, 1.3, true},                        {&kU8, &u8, std::pow(10.0, -9.5 / 20.0), true},
      {&kU8, &u8, 2.5, false},                         {&kS16, &s16_below, 0.8, true},
      {&kS16, &s16_below, -1.2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.gain << (c.extremes ? " extremes" : ""));
    const SampleFormat& format = *c.format;
    std::uint64_t clipped = 0;
    const auto whole = Dithered(format, *c.in, c.gain, c.extremes, c.in->size(), SimdLevel::kBest, &clipped);
    for (const std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{4099}}) {
      for (const SimdLevel simd : {SimdLevel::kBest, SimdLevel::kSse2, SimdLevel::kScalar}) {
        ASSERT_EQ(Dithered(format, *c.in, c.gain, c.extremes, block, simd), whole) << block << " " << int(simd);
      }
    }
    const double top = format.container_bytes == 1 ? 127 : 32767;
    double low = 0, high = 0;
    for (std::size_t i = 0; i < c.in->size() / format.container_bytes; ++i) {
      low = std::min<double>(low, At(format, *c.in, i));
      high = std::max<double>(high, At(format, *c.in, i));
    }
    const double exact_high = std::min(top, std::nearbyint((c.gain > 0 ? high : low) * c.gain));
    std::uint64_t near_edge = 0;  // where a clamp may happen
    std::size_t noisy = 0;
    for (std::size_t i = 0; i < c.in->size() / format.container_bytes; ++i) {
      const std::int32_t v = At(format, *c.in, i);
      const std::int32_t got = At(format, whole, i);
      const double exact = v * c.gain;
      const double plain = std::clamp(std::nearbyint(exact), -top - 1, top);
      const bool kept = v == 0 || (c.extremes && (v == low || v == high));
      if (kept) {
        ASSERT_EQ(got, plain) << v;
      }
      if (c.extremes) {
        ASSERT_LE(got, exact_high) << v;
      }
      if (std::fabs(exact) <= top) {
        ASSERT_LE(std::fabs(got - exact), 1.5) << v;
      }
      near_edge += exact > top - 1.5 || exact < -top + 0.5;
      noisy += got != plain;
    }
    EXPECT_LE(clipped, near_edge);
    if (c.extremes && std::fabs(c.gain) < 1) {
      EXPECT_EQ(clipped, 0u);
    }
    EXPECT_GT(noisy, c.in->size() / format.container_bytes / 10);
  }
}

// A 1 kHz tone at -70 dBFS turned down 6 dB: the error against the exact
// product. Plain rounding leaves lines at the tone's harmonics; dither a flat
// noise that the tone does not predict.
TEST(NormalizeDither, ErrorIsFlatNoiseOfAQuarterStepSquared) {
  constexpr std::size_t kRate = 48000;
  const double amplitude = 32768 * std::pow(10.0, -70 / 20.0);
  const double gain = std::pow(10.0, -6 / 20.0);
  std::vector<std::uint8_t> tone;
  std::vector<double> exact;
  for (std::size_t i = 0; i < kRate; ++i) {
    const auto v = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * 1000 * i / kRate)));
    tone.push_back(static_cast<std::uint8_t>(v));
    tone.push_back(static_cast<std::uint8_t>(v >> 8));
    exact.push_back(v * gain);
  }
  struct Figures {
    double variance, signal_correlation, largest_lag_correlation, strongest_harmonic;  // harmonic: / mean bin power
  };
  const auto figures_of = [&](const std::vector<std::uint8_t>& out) {
    std::vector<double> error(kRate);
    double power = 0, cross = 0, signal = 0;
    for (std::size_t i = 0; i < kRate; ++i) {
      error[i] = At(kS16, out, i) - exact[i];
      power += error[i] * error[i];
      cross += error[i] * exact[i];
      signal += exact[i] * exact[i];
    }
    Figures f{power / kRate, cross / std::sqrt(power * signal), 0, 0};
    for (std::size_t lag = 1; lag <= 8; ++lag) {
      double sum = 0;
      for (std::size_t i = lag; i < kRate; ++i) sum += error[i] * error[i - lag];
      f.largest_lag_correlation = std::max(f.largest_lag_correlation, std::fabs(sum / power));
    }
    // One second: bin k is k Hz; the mean bin power is the error's power.
    for (int harmonic = 1; harmonic <= 12; ++harmonic) {
      double re = 0, im = 0;
      for (std::size_t i = 0; i < kRate; ++i) {
        const double phase = 2 * std::numbers::pi * 1000.0 * harmonic * i / kRate;
        re += error[i] * std::cos(phase);
        im += error[i] * std::sin(phase);
      }
      f.strongest_harmonic = std::max(f.strongest_harmonic, (re * re + im * im) / power);
    }
    return f;
  };
  const Figures dithered = figures_of(Dithered(kS16, tone, gain, false, kRate, SimdLevel::kBest));
  EXPECT_NEAR(dithered.variance, 0.25, 0.03);
  EXPECT_LT(std::fabs(dithered.signal_correlation), 0.03);
  EXPECT_LT(dithered.largest_lag_correlation, 0.03);
  EXPECT_LT(dithered.strongest_harmonic, 20);

  std::vector<std::uint8_t> plain(tone.size());
  PeakTracker before;
  std::uint64_t clipped = 0;
  ApplyGain(kS16, reinterpret_cast<const std::byte*>(tone.data()), reinterpret_cast<std::byte*>(plain.data()), kRate,
            gain, before, clipped);
  EXPECT_GT(figures_of(plain).strongest_harmonic, 1000);
}

}  // namespace
}  // namespace normalize::test
