// A file measured in parts on several threads gives the figures of one pass:
// the peaks exactly, the loudness and its range within 0.001 LU, on the
// cases where a part's filters could start wrong (a loud hit at the file's
// start, a silence across a part's border, loud samples where a part's
// settling begins after silence that is not the file's), at the lowest and
// highest rates, with one and six channels, mapped and read.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "loudness/file_measurement.h"
#include "samples/file_parts.h"
#include "wav/input_file.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

constexpr unsigned kThreads = 4;
constexpr double kSeconds = 16;

// 16-bit PCM: `value(frame, channel)` at full scale 1.
template <typename Value>
std::string WriteWav(const ScratchDir& dir, unsigned rate, unsigned channels, std::uint64_t frames, Value value) {
  Bytes data;
  data.reserve(frames * channels * 2);
  for (std::uint64_t n = 0; n < frames; ++n) {
    for (unsigned c = 0; c < channels; ++c) {
      const auto s = static_cast<std::int16_t>(std::lround(std::clamp(value(n, c), -1.0, 32767 / 32768.0) * 32768));
      data.push_back(static_cast<unsigned char>(s & 0xff));
      data.push_back(static_cast<unsigned char>((s >> 8) & 0xff));
    }
  }
  const std::string path = dir / "parts.wav";
  WriteBytes(path, BuildRiff({{"fmt ", PcmFmt(1, channels, 16, 0, rate)}, {"data", data}}));
  return path;
}

TEST(NormalizeFileMeasurement, PartsOnThreadsGiveTheOnePassFigures) {
  enum class Kind { kHitAtStart, kGapAtBorders, kNoise, kToneAndNoise, kLoudEverywhere };
  struct Case {
    const char* name;
    unsigned rate, channels;
    Kind kind;
    bool map;
  };
  const Case cases[] = {
      {"hit at the start, 44.1 kHz stereo", 44100, 2, Kind::kHitAtStart, true},
      {"silence across every border, 48 kHz, 6 channels", 48000, 6, Kind::kGapAtBorders, true},
      {"noise, 8 kHz mono, read", 8000, 1, Kind::kNoise, false},
      {"tone and noise, 192 kHz mono", 192000, 1, Kind::kToneAndNoise, true},
      {"faded in, then loud and steady, 48 kHz stereo", 48000, 2, Kind::kLoudEverywhere, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const auto frames = static_cast<std::uint64_t>(kSeconds * c.rate);
    const std::vector<FilePart> parts = SplitIntoParts(frames, 5ull * c.rate, c.rate / 10, kThreads);
    ASSERT_GE(parts.size(), 3u);
    std::mt19937 random(c.rate);
    std::normal_distribution<double> noise(0, 0.1);
    const auto near_border = [&](std::uint64_t n) {
      for (std::size_t p = 1; p < parts.size(); ++p) {
        if (n + c.rate / 2 > parts[p].first && n < parts[p].first + c.rate / 2) return true;
      }
      return false;
    };
    const std::string path = WriteWav(dir, c.rate, c.channels, frames, [&](std::uint64_t n, unsigned ch) {
      const double t = static_cast<double>(n) / c.rate;
      const double level = 0.5 + 0.4 * std::sin(t * (1 + ch));  // loudness that moves, for the range
      switch (c.kind) {
        case Kind::kHitAtStart: return n < c.rate / 20 ? (n % 7 < 3 ? 0.99 : -0.99) : level * noise(random);
        case Kind::kGapAtBorders: return near_border(n) ? 0.0 : level * noise(random);
        case Kind::kNoise: return level * noise(random);
        case Kind::kToneAndNoise: return level * (0.3 * std::sin(2 * std::numbers::pi * 997 * t) + noise(random));
        case Kind::kLoudEverywhere: return std::min(1.0, t) * (0.85 + 0.05 * std::sin(2 * std::numbers::pi * 20 * t));
      }
      return 0.0;
    });
    InputFile input(path, c.map);
    const WavLayout layout = ReadWavLayout(input);
    const LoudnessFigures one = MeasureLoudnessOf(input, layout, 65536, 1, true, {});
    const LoudnessFigures split = MeasureLoudnessOf(input, layout, 65536, kThreads, true, {});
    ASSERT_TRUE(one.integrated_lufs && split.integrated_lufs && one.loudness_range_lu && split.loudness_range_lu);
    EXPECT_NEAR(*split.integrated_lufs, *one.integrated_lufs, 0.001);
    EXPECT_NEAR(*split.loudness_range_lu, *one.loudness_range_lu, 0.001);
    ASSERT_EQ(split.block_powers.size(), one.block_powers.size());
    for (std::size_t b = 0; b < one.block_powers.size(); ++b) {
      ASSERT_NEAR(split.block_powers[b], one.block_powers[b], 1e-9 * one.block_powers[b] + 1e-15) << "block " << b;
    }
    EXPECT_EQ(split.sample_peak, one.sample_peak);
    EXPECT_EQ(split.true_peak, one.true_peak);
    EXPECT_EQ(split.ceiling_peak, one.ceiling_peak);
    EXPECT_EQ(split.non_finite, one.non_finite);
    const PeakTracker scan_one = ScanPeakOf(input, layout, 65536, 1, {});
    const PeakTracker scan_split = ScanPeakOf(input, layout, 65536, kThreads, {});
    EXPECT_EQ(scan_split.min, scan_one.min);
    EXPECT_EQ(scan_split.max, scan_one.max);
  }
}

}  // namespace
}  // namespace normalize::test
