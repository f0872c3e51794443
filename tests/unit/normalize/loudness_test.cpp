// Loudness figures against two references: libebur128 (the outside oracle)
// on generated signals of every format, and the test signals of EBU Tech 3341
// and 3342, built from their descriptions, against their stated results.
#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "loudness/channel_weights.h"
#include "loudness/k_weighting.h"
#include "loudness/loudness_analysis.h"
#include "job/analysis_line.h"

namespace normalize::test {
namespace {

// Interleaved frames at full scale 1, and the same as a data chunk's bytes.
struct Signal {
  unsigned channels;
  double rate;
  std::vector<double> samples;
};

SampleFormat FormatOf(SampleEncoding encoding, unsigned channels) {
  const unsigned bytes = encoding == SampleEncoding::kUnsigned8   ? 1
                         : encoding == SampleEncoding::kSigned16  ? 2
                         : encoding == SampleEncoding::kSigned24  ? 3
                         : encoding == SampleEncoding::kFloat64   ? 8
                                                                  : 4;
  return SampleFormat{encoding, channels, bytes, bytes * 8, bytes * channels};
}

// The bytes of `signal` in `format`, and (in `decoded`) the values they hold.
std::vector<std::byte> Encode(const Signal& signal, const SampleFormat& format, std::vector<double>& decoded) {
  std::vector<std::byte> bytes(signal.samples.size() * format.container_bytes);
  decoded.resize(signal.samples.size());
  for (std::size_t i = 0; i < signal.samples.size(); ++i) {
    const double v = signal.samples[i];
    std::byte* p = bytes.data() + i * format.container_bytes;
    const auto integer = [&](double scale) {
      const double q = std::clamp(std::nearbyint(v * scale), -scale, scale - 1);
      decoded[i] = q / scale;
      return static_cast<std::int64_t>(q);
    };
    switch (format.encoding) {
      case SampleEncoding::kUnsigned8: *p = static_cast<std::byte>(integer(128) + 128); break;
      case SampleEncoding::kSigned16: {
        const auto s = static_cast<std::int16_t>(integer(32768));
        std::memcpy(p, &s, 2);
        break;
      }
      case SampleEncoding::kSigned24: {
        const auto s = static_cast<std::uint32_t>(integer(8388608));
        for (int b = 0; b < 3; ++b) p[b] = static_cast<std::byte>(s >> (8 * b));
        break;
      }
      case SampleEncoding::kSigned32: {
        const auto s = static_cast<std::int32_t>(integer(2147483648.0));
        std::memcpy(p, &s, 4);
        break;
      }
      case SampleEncoding::kFloat32: {
        const auto f = static_cast<float>(v);
        decoded[i] = f;
        std::memcpy(p, &f, 4);
        break;
      }
      case SampleEncoding::kFloat64:
        decoded[i] = v;
        std::memcpy(p, &v, 8);
        break;
    }
  }
  return bytes;
}

LoudnessFigures Analyze(const Signal& signal, SampleEncoding encoding, const std::vector<double>& weights,
                        SimdLevel simd = SimdLevel::kBest, std::size_t block_bytes = 65536,
                        std::size_t range_step = 1) {
  const SampleFormat format = FormatOf(encoding, signal.channels);
  std::vector<double> decoded;
  const std::vector<std::byte> bytes = Encode(signal, format, decoded);
  LoudnessAnalyzer analyzer(format, signal.rate, weights, simd);
  for (std::size_t at = 0; at < bytes.size(); at += block_bytes) {
    analyzer.Add(bytes.data() + at, std::min(block_bytes, bytes.size() - at));
  }
  return analyzer.Figures(range_step);
}

// Levels in dBFS of a sine's peak, `seconds` each, on every channel.
Signal Tone(double rate, unsigned channels, double hz, const std::vector<std::pair<double, double>>& levels) {
  Signal signal{channels, rate, {}};
  std::size_t n = 0;
  for (const auto& [dbfs, seconds] : levels) {
    const double amplitude = std::pow(10.0, dbfs / 20);
    const auto frames = static_cast<std::size_t>(std::llround(seconds * rate));
    for (std::size_t i = 0; i < frames; ++i, ++n) {
      const double v = amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(n) / rate);
      for (unsigned c = 0; c < channels; ++c) signal.samples.push_back(v);
    }
  }
  return signal;
}

// Noise and tones whose level wanders over some 30 dB, different per channel.
Signal Programme(double rate, unsigned channels, double seconds, unsigned seed) {
  Signal signal{channels, rate, {}};
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 1);
  const auto frames = static_cast<std::size_t>(seconds * rate);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double envelope = std::pow(10.0, (-30 + 15 * std::sin(2 * std::numbers::pi * t / 7.3)) / 20);
    for (unsigned c = 0; c < channels; ++c) {
      const double tone = std::sin(2 * std::numbers::pi * (220.0 * (c + 1)) * t) +
                          0.5 * std::sin(2 * std::numbers::pi * 9000.0 * t + c);
      signal.samples.push_back(std::clamp(envelope * (tone + 0.3 * noise(random)), -1.0, 1.0));
    }
  }
  return signal;
}

struct Oracle {
  double integrated = -HUGE_VAL;
  double range = 0;
  double true_peak = 0;
};

Oracle Ebur128(const std::vector<double>& decoded, unsigned channels, double rate,
               const std::vector<double>& weights) {
  ebur128_state* state = ebur128_init(channels, static_cast<unsigned long>(rate),
                                      EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
  for (unsigned c = 0; c < channels; ++c) {
    ebur128_set_channel(state, c, weights[c] == 0 ? EBUR128_UNUSED
                                  : weights[c] > 1 ? EBUR128_LEFT_SURROUND
                                                   : EBUR128_LEFT);
  }
  ebur128_add_frames_double(state, decoded.data(), decoded.size() / channels);
  Oracle oracle;
  ebur128_loudness_global(state, &oracle.integrated);
  ebur128_loudness_range(state, &oracle.range);
  for (unsigned c = 0; c < channels; ++c) {
    double peak = 0;
    ebur128_true_peak(state, c, &peak);
    oracle.true_peak = std::max(oracle.true_peak, peak);
  }
  ebur128_destroy(&state);
  return oracle;
}

TEST(NormalizeLoudness, KWeightingAt48kHzIsThePublishedFilter) {
  const KWeightingDesign k = DesignKWeighting(48000);
  EXPECT_NEAR(k.shelf.b0, 1.53512485958697, 1e-9);
  EXPECT_NEAR(k.shelf.b1, -2.69169618940638, 1e-9);
  EXPECT_NEAR(k.shelf.b2, 1.19839281085285, 1e-9);
  EXPECT_NEAR(k.shelf.a1, -1.69065929318241, 1e-9);
  EXPECT_NEAR(k.shelf.a2, 0.73248077421585, 1e-9);
  EXPECT_NEAR(k.high_pass.a1, -1.99004745483398, 1e-9);
  EXPECT_NEAR(k.high_pass.a2, 0.99007225036621, 1e-9);
}

TEST(NormalizeLoudness, AgreesWithLibebur128OnEveryFormat) {
  struct Case {
    SampleEncoding encoding;
    unsigned channels;
    double rate;
    double seconds;
  };
  const Case cases[] = {
      {SampleEncoding::kSigned16, 2, 44100, 0.3},  // shorter than one block
      {SampleEncoding::kSigned16, 2, 44100, 120},  // minutes
      {SampleEncoding::kUnsigned8, 1, 22050, 12},  {SampleEncoding::kSigned16, 1, 48000, 1.05},
      {SampleEncoding::kSigned24, 6, 48000, 20},   {SampleEncoding::kSigned32, 3, 96000, 8},
      {SampleEncoding::kFloat32, 8, 48000, 10},    {SampleEncoding::kFloat64, 5, 32000, 15},
      {SampleEncoding::kSigned24, 2, 192000, 4},
  };
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "encoding " << static_cast<int>(c.encoding) << ", " << c.channels
                                    << " channels, " << c.rate << " Hz, " << c.seconds << " s");
    const Signal signal = Programme(c.rate, c.channels, c.seconds, seed++);
    const std::vector<double> weights = ChannelWeights(c.channels, std::nullopt);
    std::vector<double> decoded;
    Encode(signal, FormatOf(c.encoding, c.channels), decoded);
    const Oracle oracle = Ebur128(decoded, c.channels, c.rate, weights);
    // Blocks of odd sizes cut frames and samples apart.
    // The library takes a 3 s block for the loudness range every second, not
    // every 100 ms as Tech 3342 now asks (and the tool does).
    const LoudnessFigures ours = Analyze(signal, c.encoding, weights, SimdLevel::kBest, 4099, 10);

    if (std::isfinite(oracle.integrated)) {
      ASSERT_TRUE(ours.integrated_lufs);
      EXPECT_NEAR(*ours.integrated_lufs, oracle.integrated, 0.05);
    } else {
      EXPECT_FALSE(ours.integrated_lufs);
    }
    EXPECT_NEAR(ours.loudness_range_lu.value_or(0), oracle.range, 0.1);
    EXPECT_NEAR(20 * std::log10(ours.true_peak), 20 * std::log10(oracle.true_peak), 0.1);
  }
}

TEST(NormalizeLoudness, VectorAndScalarPathsAgree) {
  // 5 channels: two vector pairs and one channel on the scalar path.
  const Signal signal = Programme(44100, 5, 6, 99);
  for (const unsigned rate : {44100u, 96000u}) {
    Signal s = signal;
    s.rate = rate;
    const auto weights = ChannelWeights(5, std::nullopt);
    const LoudnessFigures scalar = Analyze(s, SampleEncoding::kFloat32, weights, SimdLevel::kScalar);
    for (const SimdLevel simd : {SimdLevel::kSse2, SimdLevel::kBest}) {
      const LoudnessFigures vector = Analyze(s, SampleEncoding::kFloat32, weights, simd);
      ASSERT_TRUE(vector.integrated_lufs && scalar.integrated_lufs);
      // The same operations in the same order: the same result.
      EXPECT_DOUBLE_EQ(*vector.integrated_lufs, *scalar.integrated_lufs);
      EXPECT_DOUBLE_EQ(vector.loudness_range_lu.value_or(-1), scalar.loudness_range_lu.value_or(-1));
      EXPECT_EQ(vector.sample_peak, scalar.sample_peak);
      // Fused multiply-adds (AVX2) round once where the others round twice.
      if (simd == SimdLevel::kSse2) {
        EXPECT_EQ(vector.true_peak, scalar.true_peak);
      }
      EXPECT_NEAR(vector.true_peak, scalar.true_peak, 1e-6);
    }
  }
}

// EBU Tech 3341, cases 1 to 6: every one measures -23.0 LUFS but the second
// (-33.0); tolerance 0.1 LU.
TEST(NormalizeLoudness, Tech3341IntegratedLoudnessCases) {
  const std::vector<double> stereo = ChannelWeights(2, std::nullopt);
  struct Case {
    std::vector<std::pair<double, double>> levels;
    double expected;
  };
  const Case cases[] = {
      {{{-23, 20}}, -23},
      {{{-33, 20}}, -33},
      {{{-36, 10}, {-23, 60}, {-36, 10}}, -23},
      {{{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, -23},
      {{{-26, 20}, {-20, 20.1}, {-26, 20}}, -23},
  };
  for (const Case& c : cases) {
    const LoudnessFigures figures = Analyze(Tone(48000, 2, 1000, c.levels), SampleEncoding::kSigned24, stereo);
    ASSERT_TRUE(figures.integrated_lufs);
    EXPECT_NEAR(*figures.integrated_lufs, c.expected, 0.1) << c.levels.size() << " parts";
  }
  // Case 6: 5.0 channels (L, R, C, Ls, Rs) at -28, -28, -24, -30, -30 dBFS.
  const double levels[] = {-28, -28, -24, -30, -30};
  Signal five{5, 48000, {}};
  for (std::size_t i = 0; i < 20 * 48000; ++i) {
    for (const double dbfs : levels) {
      five.samples.push_back(std::pow(10.0, dbfs / 20) * std::sin(2 * std::numbers::pi * 1000 * i / 48000.0));
    }
  }
  // A 5.0 layout's channel mask: FL FR FC BL BR.
  const LoudnessFigures figures = Analyze(five, SampleEncoding::kFloat32, ChannelWeights(5, 0x37u));
  ASSERT_TRUE(figures.integrated_lufs);
  EXPECT_NEAR(*figures.integrated_lufs, -23, 0.1);
}

// EBU Tech 3342, cases 1 to 4: level steps of a stereo 1 kHz sine; tolerance 1 LU.
TEST(NormalizeLoudness, Tech3342LoudnessRangeCases) {
  struct Case {
    std::vector<std::pair<double, double>> levels;
    double expected;
  };
  const Case cases[] = {
      {{{-20, 20}, {-30, 20}}, 10},
      {{{-20, 20}, {-15, 20}}, 5},
      {{{-40, 20}, {-20, 20}}, 20},
      {{{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, 15},
  };
  for (const Case& c : cases) {
    const LoudnessFigures figures =
        Analyze(Tone(48000, 2, 1000, c.levels), SampleEncoding::kSigned16, ChannelWeights(2, std::nullopt));
    ASSERT_TRUE(figures.loudness_range_lu);
    EXPECT_NEAR(*figures.loudness_range_lu, c.expected, 1) << c.levels.size() << " parts";
  }
}

// A quarter-rate sine sampled 45 degrees off its crests: every sample is at
// 0.707 of the amplitude, so the true peak is 3.01 dB above the sample peak.
// Tolerance as Tech 3341 gives for true peak: +0.2 / -0.4 dB.
TEST(NormalizeLoudness, TruePeakFindsTheCrestsBetweenSamples) {
  Signal signal{2, 48000, {}};
  const double amplitude = std::pow(10.0, -6.0 / 20);
  for (std::size_t i = 0; i < 48000; ++i) {
    const double v = amplitude * std::sin(std::numbers::pi / 2 * static_cast<double>(i) + std::numbers::pi / 4);
    signal.samples.insert(signal.samples.end(), {v, v});
  }
  const LoudnessFigures figures = Analyze(signal, SampleEncoding::kFloat32, ChannelWeights(2, std::nullopt));
  EXPECT_NEAR(20 * std::log10(figures.sample_peak), -9.01, 0.01);
  const double true_peak = 20 * std::log10(figures.true_peak);
  EXPECT_GE(true_peak, -6.0 - 0.4);
  EXPECT_LE(true_peak, -6.0 + 0.2);

  // Blocks that cannot raise the true peak are skipped: here the later,
  // higher crests lie between samples smaller than the earlier peak (0.71
  // against 0.8), and must still be found.
  Signal later{1, 48000, {}};
  for (std::size_t i = 0; i < 96000; ++i) {
    const double phase = std::numbers::pi / 2 * static_cast<double>(i);
    later.samples.push_back(i < 48000 ? 0.8 * std::sin(phase + std::numbers::pi / 2)
                                      : std::sin(phase + std::numbers::pi / 4));
  }
  const double later_peak =
      20 * std::log10(Analyze(later, SampleEncoding::kFloat32, ChannelWeights(1, std::nullopt)).true_peak);
  EXPECT_GE(later_peak, -0.4);
  EXPECT_LE(later_peak, 0.2);
}

TEST(NormalizeLoudness, ChannelWeightsFollowTheMaskOrTheUsualOrder) {
  using W = std::vector<double>;
  EXPECT_EQ(ChannelWeights(2, std::nullopt), (W{1, 1}));
  EXPECT_EQ(ChannelWeights(6, std::nullopt), (W{1, 1, 1, 0, 1.41, 1.41}));
  EXPECT_EQ(ChannelWeights(8, std::nullopt), (W{1, 1, 1, 0, 1.41, 1.41, 1, 1}));
  EXPECT_EQ(ChannelWeights(6, 0x3Fu), (W{1, 1, 1, 0, 1.41, 1.41}));  // 5.1, surrounds as "back"
  EXPECT_EQ(ChannelWeights(6, 0x60Fu), (W{1, 1, 1, 0, 1.41, 1.41}));  // 5.1, surrounds as "side"
  // 7.1: the back pair behind the side pair counts 1.
  EXPECT_EQ(ChannelWeights(8, 0x63Fu), (W{1, 1, 1, 0, 1, 1, 1.41, 1.41}));
  // Quad from the mask, where the usual order would take channel 3 for the LFE.
  EXPECT_EQ(ChannelWeights(4, 0x33u), (W{1, 1, 1.41, 1.41}));
  // More channels than the mask names: the rest count 1.
  EXPECT_EQ(ChannelWeights(4, 0x3u), (W{1, 1, 1, 1}));
}

TEST(NormalizeLoudness, ReportsNullForFiguresThatDoNotExist) {
  const LoudnessFigures silent = Analyze(Tone(44100, 2, 1000, {{-200, 5}}), SampleEncoding::kSigned16,
                                         ChannelWeights(2, std::nullopt));
  EXPECT_FALSE(silent.integrated_lufs);
  EXPECT_EQ(AnalysisJson("a \"b\"\\c.wav", silent),
            "{\"file\":\"a \\\"b\\\"\\\\c.wav\",\"sample_peak_dbfs\":null,\"true_peak_dbtp\":null,"
            "\"integrated_lufs\":null,\"loudness_range_lu\":null,\"max_momentary_lufs\":null,"
            "\"max_short_term_lufs\":null}");
  LoudnessFigures loud;
  loud.sample_peak = 0.5;
  loud.true_peak = 1;
  loud.integrated_lufs = -23;
  loud.loudness_range_lu = 4.26;
  EXPECT_EQ(AnalysisJson("x", loud),
            "{\"file\":\"x\",\"sample_peak_dbfs\":-6.021,\"true_peak_dbtp\":0.000,\"integrated_lufs\":-23.000,"
            "\"loudness_range_lu\":4.260,\"max_momentary_lufs\":null,\"max_short_term_lufs\":null}");
  EXPECT_EQ(AnalysisText("x", loud),
            "x: sample peak -6.02 dBFS, true peak 0.00 dBTP, loudness -23.0 LUFS, range 4.3 LU");
}

}  // namespace
}  // namespace normalize::test
