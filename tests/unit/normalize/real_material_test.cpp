// --loudness and --true-peak on generated files that look like sounds from
// the field, against libebur128 and sox's 16x resampling: a drum hit whose
// tail decays through the -70 LUFS gate, and an 11 kHz 8-bit game sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <regex>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

// Mono PCM at `rate`, 8 or 16 bits, from samples at full scale 1.
std::string WriteMono(const std::string& path, unsigned rate, unsigned bits, const std::vector<double>& samples) {
  Bytes data;
  for (const double v : samples) {
    if (bits == 8) {
      data.push_back(static_cast<unsigned char>(std::clamp(std::lround(v * 128) + 128, 0L, 255L)));
    } else {
      const Bytes le = Le16(static_cast<std::uint16_t>(std::clamp(std::lround(v * 32768), -32768L, 32767L)));
      data.insert(data.end(), le.begin(), le.end());
    }
  }
  WriteBytes(path, BuildRiff({{"fmt ", PcmFmt(1, 1, bits, 0, rate)}, {"data", data}}));
  return path;
}

// A 180 Hz tone and noise (falling 6 dB an octave from 3 kHz, as a drum's
// does) struck at 0.9 and decaying (0.8 s to 1/e) into digital silence, 20 s
// at 44.1 kHz.
std::vector<double> DrumHit() {
  std::mt19937 random(1);
  std::uniform_real_distribution<double> noise(-1, 1);
  std::vector<double> samples(20 * 44100);
  double shaped = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / 44100;
    shaped = 0.65 * shaped + 0.35 * 2 * noise(random);
    samples[i] = 0.9 * std::exp(-t / 0.8) * (0.6 * std::sin(2 * std::numbers::pi * 180 * t) + 0.4 * shaped);
  }
  return samples;
}

// A game's laser: a square wave falling from 2.5 kHz to 300 Hz over noise,
// near full scale and decaying, 0.8 s at 11.025 kHz.
std::vector<double> Laser() {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> noise(-1, 1);
  std::vector<double> samples(8820);
  double phase = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / 11025;
    phase += 2 * std::numbers::pi * 2500 * std::exp(-2.6 * t) / 11025;
    samples[i] = 0.95 * std::exp(-1.5 * t) * (0.7 * (std::sin(phase) > 0 ? 1 : -1) + 0.3 * noise(random));
  }
  return samples;
}

// A room's impulse response: noise decaying (0.6 s to 1/e), 4 s at 44.1 kHz.
std::vector<double> Reverb() {
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 0.35);
  std::vector<double> samples(4 * 44100);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = noise(random) * std::exp(-static_cast<double>(i) / 44100 / 0.6);
  return samples;
}

double ResultLufs(const std::string& summary) {
  std::smatch match;
  if (!std::regex_search(summary, match, std::regex("the result is (-?[0-9.]+) LUFS"))) {
    ADD_FAILURE() << summary;
    return 0;
  }
  return std::stod(match[1]);
}

TEST(NormalizeRealMaterial, ADrumHitsTailLandsOnTheTarget) {
  ScratchDir dir;
  const std::string in = WriteMono(dir / "drum.wav", 44100, 16, DrumHit());
  const std::string out = dir / "out.wav";
  for (const char* target : {"-23", "-30"}) {
    SCOPED_TRACE(target);
    const RunResult run = RunTool({"--loudness", target, "-o", out, in});
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_NEAR(Libebur128(out, 1, 44100).integrated_lufs, std::stod(target), 0.1);
  }
  // Held by the ceiling: the loudness the summary gives is what a meter reads.
  const RunResult held = RunTool({"--loudness", "-5", "--true-peak", "-20", "-o", out, in});
  ASSERT_EQ(held.code, ExitCode::kOk) << held.err;
  EXPECT_NEAR(ResultLufs(held.out), Libebur128(out, 1, 44100).integrated_lufs, 0.1) << held.out;
}

TEST(NormalizeRealMaterial, TheCeilingHoldsBetweenSamples) {
  ScratchDir dir;
  const struct {
    std::string in;
    unsigned rate;
  } cases[] = {{WriteMono(dir / "laser.wav", 11025, 8, Laser()), 11025},
               {WriteMono(dir / "drum.wav", 44100, 16, DrumHit()), 44100},
               {WriteMono(dir / "reverb.wav", 44100, 16, Reverb()), 44100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    const std::string out = dir / "out.wav";
    const RunResult run = RunTool({"--loudness", "-3", "--true-peak", "-1", "-o", out, c.in});
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_NE(run.out.find("held by the -1.00 dBTP true-peak ceiling"), std::string::npos) << run.out;
    EXPECT_LE(ResampledPeakDb(out, 16 * c.rate), -1 + 0.1);
  }
}

}  // namespace
}  // namespace normalize::test
