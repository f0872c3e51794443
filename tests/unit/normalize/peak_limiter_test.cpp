// The limiter on its own: a steady tone pushed into the threshold settles to
// one gain with no distortion, what stays under it passes unchanged, the gain
// never moves faster than the attack, the channels share it, the result
// holds the threshold by an ideal reconstruction, and the bytes do not depend
// on how the input is cut into blocks.
#include "samples/peak_limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace normalize::test {
namespace {

constexpr double kRate = 48000;

// `in` (interleaved) times the limiter's gains, given `block` frames at a time.
std::vector<float> Limit(const std::vector<float>& in, unsigned channels, const LimiterSettings& settings,
                         std::size_t block = 1000, double rate = kRate, PeakLimiter* keep = nullptr,
                         PeakReading* reading = nullptr, const PeakReading* from = nullptr) {
  PeakLimiter limiter(rate, channels, settings, reading, from);
  const std::size_t frames = in.size() / channels;
  std::vector<std::vector<float>> planes(channels, std::vector<float>(frames));
  for (std::size_t i = 0; i < in.size(); ++i) planes[i % channels][i / channels] = in[i];
  std::vector<double> gains(frames + limiter.latency() + block);
  std::size_t written = 0;
  for (std::size_t done = 0; done < frames; done += block) {
    std::vector<const float*> at;
    for (const auto& plane : planes) at.push_back(plane.data() + done);
    written += limiter.Process(at.data(), std::min(block, frames - done), gains.data() + written);
  }
  written += limiter.Finish(gains.data() + written);
  EXPECT_EQ(written, frames);
  std::vector<float> out(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) out[i] = static_cast<float>(in[i] * gains[i / channels]);
  if (keep) *keep = limiter;
  return out;
}

// The largest magnitude of the band-limited signal through `x` (silence
// around it) at 16 points a sample, by zero-padding its spectrum.
double IdealPeak16x(const std::vector<float>& x) {
  std::size_t n = 1;
  while (n < x.size() + 4096) n *= 2;
  const std::size_t m = 16 * n;
  std::vector<std::complex<double>> a(m);
  for (std::size_t i = 0; i < x.size(); ++i) a[i + 2048] = x[i];
  const auto fft = [](std::vector<std::complex<double>>& v, std::size_t size, bool inverse) {
    for (std::size_t i = 1, j = 0; i < size; ++i) {
      std::size_t bit = size >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(v[i], v[j]);
    }
    for (std::size_t len = 2; len <= size; len <<= 1) {
      const double angle = 2 * std::numbers::pi / static_cast<double>(len) * (inverse ? 1 : -1);
      const std::complex<double> w(std::cos(angle), std::sin(angle));
      for (std::size_t i = 0; i < size; i += len) {
        std::complex<double> t(1);
        for (std::size_t k = 0; k < len / 2; ++k, t *= w) {
          const std::complex<double> u = v[i + k], s = v[i + k + len / 2] * t;
          v[i + k] = u + s;
          v[i + k + len / 2] = u - s;
        }
      }
    }
  };
  fft(a, n, false);
  // The spectrum of n samples spread over m points; the Nyquist bin halved.
  std::vector<std::complex<double>> wide(m);
  for (std::size_t k = 0; k < n / 2; ++k) wide[k] = a[k];
  for (std::size_t k = 1; k < n / 2; ++k) wide[m - k] = a[n - k];
  wide[n / 2] = wide[m - n / 2] = a[n / 2] / 2.0;
  fft(wide, m, true);
  double peak = 0;
  for (const auto& v : wide) peak = std::max(peak, std::abs(v.real()) / static_cast<double>(n));
  return peak;
}

std::vector<float> Sine(double hz, double amplitude, double seconds, double rate = kRate) {
  std::vector<float> x(static_cast<std::size_t>(seconds * rate));
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
  return x;
}

// Drum-like hits: noise bursts, darker towards the top as a drum's are, that
// start at full strength and die away; the loudest sample at `amplitude`.
std::vector<float> Hits(double amplitude, double seconds, unsigned seed, double rate = kRate) {
  std::vector<float> x(static_cast<std::size_t>(seconds * rate));
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 1);
  const double pole = std::exp(-2 * std::numbers::pi * 5000 / rate);
  double low1 = 0, low2 = 0, loudest = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double since_hit = std::fmod(static_cast<double>(i), 0.25 * rate);
    low1 = pole * low1 + (1 - pole) * noise(random);
    low2 = pole * low2 + (1 - pole) * low1;
    x[i] = static_cast<float>(low2 * std::exp(-since_hit / (0.04 * rate)));
    loudest = std::max(loudest, std::fabs(static_cast<double>(x[i])));
  }
  for (float& v : x) v = static_cast<float>(v * amplitude / loudest);
  return x;
}

double Decibels(double ratio) { return 20 * std::log10(ratio); }

TEST(NormalizePeakLimiter, ASineIntoTheThresholdSettlesToOneGainWithoutDistortion) {
  LimiterSettings settings;
  settings.threshold = std::pow(10.0, -1.0 / 20);
  // 1 kHz at -3 dBFS pushed 6 dB up: 4 dB over.
  const std::vector<float> in = Sine(1000, 2 * std::pow(10.0, -3.0 / 20), 1.0);
  const std::vector<float> out = Limit(in, 1, settings);
  // THD+N after the first 100 ms: what a least-squares fit of the 1 kHz sine
  // and cosine leaves.
  const std::size_t from = static_cast<std::size_t>(0.1 * kRate);
  double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
  for (std::size_t i = from; i < out.size(); ++i) {
    const double s = std::sin(2 * std::numbers::pi * 1000 * i / kRate),
                 c = std::cos(2 * std::numbers::pi * 1000 * i / kRate);
    ss += s * s, sc += s * c, cc += c * c, ys += out[i] * s, yc += out[i] * c;
  }
  const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  double signal = 0, rest = 0;
  for (std::size_t i = from; i < out.size(); ++i) {
    const double fit =
        a * std::sin(2 * std::numbers::pi * 1000 * i / kRate) + b * std::cos(2 * std::numbers::pi * 1000 * i / kRate);
    signal += fit * fit;
    rest += (out[i] - fit) * (out[i] - fit);
  }
  EXPECT_LT(10 * std::log10(rest / signal), -80);
  // Settled just under the threshold: the short look reads a 1 kHz peak true.
  EXPECT_NEAR(Decibels(std::hypot(a, b)), -1.0, 0.01);
  EXPECT_LE(Decibels(IdealPeak16x(out)), -1.0 + 0.003);  // the onset's splash
}

// What stays under the threshold passes unchanged; what does not is limited
// to the same bytes however the input is cut into blocks, and whether the
// limiter reads the samples or takes the reading a pass kept at the same or
// a lower threshold (the pass that keeps it limits as one that does not;
// one below it reads for itself).
TEST(NormalizePeakLimiter, WhatStaysUnderPassesUnchangedAndNeitherBlocksNorAKeptReadingMatter) {
  LimiterSettings settings;
  settings.threshold = 0.9;
  std::vector<float> quiet = Hits(0.6, 1.0, 7);
  PeakLimiter limiter(kRate, 1, settings);
  const std::vector<float> out = Limit(quiet, 1, settings, 1000, kRate, &limiter);
  EXPECT_EQ(std::memcmp(out.data(), quiet.data(), quiet.size() * sizeof(float)), 0);
  EXPECT_EQ(limiter.frames_limited(), 0u);
  EXPECT_EQ(limiter.lowest_gain(), 1.0);

  // Hits on the left, a bright tone on the right: crests of both channels.
  std::vector<float> loud(2 * 48000);
  const std::vector<float> left = Hits(1.6, 1.0, 7), right = Sine(6000, 0.7, 1.0);
  for (std::size_t i = 0; i < left.size(); ++i) loud[2 * i] = left[i], loud[2 * i + 1] = right[i];
  LimiterSettings lower = settings;
  lower.threshold = 0.6;
  PeakReading reading;
  reading.floor = PeakLimiter::NearOf(lower.threshold);
  EXPECT_EQ(Limit(loud, 2, lower, 777, kRate, nullptr, &reading), Limit(loud, 2, lower));
  ASSERT_TRUE(reading.complete);
  for (const double threshold : {0.5, 0.6, 0.9, 1.2}) {
    settings.threshold = threshold;
    const std::vector<float> whole = Limit(loud, 2, settings, loud.size());
    for (const std::size_t block : {1, 333, 4096, 5000}) {
      EXPECT_EQ(Limit(loud, 2, settings, block), whole) << "blocks of " << block;
    }
    PeakLimiter used(kRate, 2, settings);
    EXPECT_EQ(Limit(loud, 2, settings, 1000, kRate, &used, nullptr, &reading), whole) << threshold;
    EXPECT_EQ(used.reads_samples(), threshold < lower.threshold) << threshold;
  }
}

TEST(NormalizePeakLimiter, TheGainMovesNoFasterThanTheAttackAndIsTheSameOnEveryChannel) {
  LimiterSettings settings;
  settings.threshold = 0.8;
  settings.attack_ms = 2;
  // Left: hits 5 dB over; right: a quiet tone the left's peaks must move too.
  const std::vector<float> left = Hits(0.8 * std::pow(10.0, 5.0 / 20), 1.0, 3);
  const std::vector<float> right = Sine(220, 0.1, 1.0);
  std::vector<float> in(2 * left.size());
  for (std::size_t i = 0; i < left.size(); ++i) in[2 * i] = left[i], in[2 * i + 1] = right[i];
  PeakLimiter limiter(kRate, 2, settings);
  const std::vector<float> out = Limit(in, 2, settings, 1000, kRate, &limiter);
  EXPECT_LT(limiter.lowest_gain(), std::pow(10.0, -4.0 / 20));

  // The gain each frame got, from the channel that shows it best.
  std::vector<double> gain(left.size(), 1);
  for (std::size_t i = 0; i < left.size(); ++i) {
    const std::size_t c = std::fabs(in[2 * i]) > std::fabs(in[2 * i + 1]) ? 0 : 1;
    if (std::fabs(in[2 * i + c]) > 1e-3) gain[i] = out[2 * i + c] / static_cast<double>(in[2 * i + c]);
    if (std::fabs(in[2 * i]) > 1e-2 && std::fabs(in[2 * i + 1]) > 1e-2) {
      ASSERT_NEAR(out[2 * i] / in[2 * i], out[2 * i + 1] / in[2 * i + 1], 1e-5) << "frame " << i;
    }
  }
  // A whole cut from unity to the lowest gain takes at least the attack; the
  // two averages make it an S, at most twice as steep as a straight line.
  const double attack_frames = settings.attack_ms * kRate / 1000;
  const double steepest = 2 * (1 - limiter.lowest_gain()) / attack_frames;
  double fastest = 0;
  for (std::size_t i = 1; i < gain.size(); ++i) {
    if (std::fabs(in[2 * i]) > 1e-2 && std::fabs(in[2 * i - 2]) > 1e-2)
      fastest = std::max(fastest, std::fabs(gain[i] - gain[i - 1]));
  }
  EXPECT_GT(fastest, steepest / 10);  // the test sees the slopes at all
  EXPECT_LE(fastest, steepest * 1.01);
}

// Drum hits and tones, their peaks by an ideal reconstruction: the short
// look reads a hit's crests low, the close look does not.
TEST(NormalizePeakLimiter, HoldsTheThresholdByAnIdealReconstruction) {
  struct Case {
    const char* name;
    std::vector<float> x;
    double rate;
  };
  const double threshold = std::pow(10.0, -1.0 / 20);
  const Case cases[] = {
      {"hits 5.5 dB over", Hits(threshold * 1.88, 2.0, 11), kRate},
      {"hits 3 dB over", Hits(threshold * 1.41, 2.0, 12), kRate},
      {"hits at 96 kHz", Hits(threshold * 1.8, 1.0, 13, 96000), 96000},
      {"3 kHz 5 dB over", Sine(3000, threshold * 1.78, 0.5), kRate},
      {"200 Hz 2 dB over at 44.1 kHz", Sine(200, threshold * 1.26, 0.5, 44100), 44100},
  };
  for (const Case& c : cases) {
    LimiterSettings settings;
    settings.threshold = threshold;
    // Within a fiftieth of a dB: the attack's slope lies partly within the
    // close look's reach, which takes the gain as steady. (The write path's
    // threshold stays a twentieth of a dB under the ceiling.)
    EXPECT_LE(Decibels(IdealPeak16x(Limit(c.x, 1, settings, 1000, c.rate))), -1.0 + 0.02) << c.name;
  }
}

}  // namespace
}  // namespace normalize::test
