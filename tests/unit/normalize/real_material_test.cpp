// --loudness and --true-peak on generated sounds like those from the field,
// against libebur128 and an ideal reconstruction at 16x: a drum hit whose tail decays
// through the -70 LUFS gate, an 11 kHz 8-bit game sound, a room's impulse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <regex>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

TEST(NormalizeRealMaterial, LoudnessLandsOnTheTargetAndTheCeilingHoldsBetweenSamples) {
  ScratchDir dir;
  const std::string out = dir / "out.wav";
  // A 180 Hz tone and noise struck at 0.9, decaying (0.8 s to 1/e) into digital silence.
  double shaped = 0;  // the noise falling 6 dB an octave from 3 kHz, as a drum's does
  const std::string drum = WriteSound(dir / "drum.wav", 44100, 16, 20, [&](double t, double noise) {
    shaped = 0.65 * shaped + 0.7 * noise;
    return 0.9 * std::exp(-t / 0.8) * (0.6 * std::sin(2 * std::numbers::pi * 180 * t) + 0.8 * shaped);
  });
  for (const char* target : {"-23", "-30"}) {
    ASSERT_EQ(RunTool({"--loudness", target, "-o", out, drum}).code, ExitCode::kOk);
    EXPECT_NEAR(Libebur128(out, 1, 44100).integrated_lufs, std::stod(target), 0.1) << target;
  }
  // Held far down by a ceiling: the loudness the summary gives is what a meter reads.
  const RunResult held = RunTool({"--loudness", "-5", "--true-peak", "-20", "-o", out, drum});
  std::smatch result;
  ASSERT_TRUE(std::regex_search(held.out, result, std::regex("the result is (-?[0-9.]+) LUFS"))) << held.out;
  EXPECT_NEAR(std::stod(result[1]), Libebur128(out, 1, 44100).integrated_lufs, 0.1) << held.out;

  // A game's laser: a square wave falling from 2.5 kHz to 300 Hz over noise.
  double phase = 0;
  const std::string laser = WriteSound(dir / "laser.wav", 11025, 8, 0.8, [&](double t, double noise) {
    phase += 2 * std::numbers::pi * 2500 * std::exp(-2.6 * t) / 11025;
    return 0.95 * std::exp(-1.5 * t) * (0.7 * (std::sin(phase) > 0 ? 1 : -1) + 0.35 * noise);
  });
  const std::string room = WriteSound(dir / "room.wav", 44100, 16, 4,
                                      [](double t, double noise) { return 0.7 * noise * std::exp(-t / 0.6); });
  for (const std::string& in : {laser, room, drum}) {
    const RunResult run = RunTool({"--loudness", "-3", "--true-peak", "-1", "-o", out, in});
    EXPECT_NE(run.out.find("held by the -1.00 dBTP true-peak ceiling"), std::string::npos) << run.out << run.err;
    EXPECT_LE(IdealPeakDb(out), -1 + 0.1) << in;
    // --limit: the target met (or the shortfall said) and the ceiling held.
    const RunResult limited = RunTool({"--loudness", "-9", "--true-peak", "-1", "--limit", "-o", out, in});
    ASSERT_EQ(limited.code, ExitCode::kOk) << limited.err;
    std::smatch shortfall;
    const bool short_of = std::regex_search(limited.out, shortfall, std::regex("([0-9.]+) LU short of"));
    EXPECT_NEAR(Libebur128(out, 1, in == laser ? 11025 : 44100).integrated_lufs,
                -9 - (short_of ? std::stod(shortfall[1]) : 0), 0.1) << limited.out;
    EXPECT_LE(IdealPeakDb(out), -1) << limited.out;
  }
}

}  // namespace
}  // namespace normalize::test
