// --limit through the real tool, one table of materials and delivery targets,
// each result held against libebur128 and an ideal reconstruction at 16x:
// the loudness on its target within 0.1 LU, the true peak at or under the
// ceiling, the limiting said; what needs none written byte for byte as
// without --limit; what needs more than the depth lands short and says by how
// much.
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

constexpr double kPi = std::numbers::pi;

struct Material {
  const char* name;
  unsigned rate;
  std::function<double(double, double)> shape;
};

// Kick and snare on a bass line: hits far above the body of the sound.
double Drums(double t, double noise, double& dark) {
  dark = 0.6 * dark + 0.8 * noise;
  const double beat = std::fmod(t, 0.5), snare = std::fmod(t + 0.25, 0.5);
  const double kick = std::exp(-beat / 0.06) * std::sin(2 * kPi * (50 + 80 * std::exp(-beat / 0.02)) * beat);
  return 0.15 * std::sin(2 * kPi * 55 * t) + 0.45 * kick + 0.2 * std::exp(-snare / 0.05) * dark;
}

// Chords of three voices with their overtones, struck on each beat.
double Music(double t, double noise) {
  const double beat = std::fmod(t, 0.6);
  double v = 0;
  for (const double f : {220.0, 277.2, 329.6}) {
    for (int k = 1; k <= 5; ++k) v += std::sin(2 * kPi * f * k * t) / (k * k);
  }
  return 0.1 * v * (0.4 + std::exp(-beat / 0.15)) + 0.02 * noise;
}

// Voiced syllables with a gliding pitch and plosive onsets, pauses between.
double Speech(double t, double noise) {
  const double syllable = std::fmod(t, 0.3), word = std::fmod(t, 1.5);
  if (word > 1.2) return 0.001 * noise;
  const double pitch = 120 + 30 * std::sin(2 * kPi * 0.7 * t);
  double v = 0;
  for (int k = 1; k <= 12; ++k) v += std::sin(2 * kPi * pitch * k * t) * std::exp(-std::abs(k * pitch - 700) / 600);
  const double envelope = std::sin(kPi * syllable / 0.3);
  return 0.15 * envelope * v + 0.5 * std::exp(-syllable / 0.004) * noise;
}

std::vector<std::string> Args(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

double Number(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return std::nan("");
  return std::stod(match[1]);
}

// Each file written as its line says: on the target, or short of it by what
// the line gives where the target needs more than the limiter's depth; its
// peaks at or under the ceiling; the limiting said, and the same by a dry
// run; a file that needed none the very bytes of the run without --limit.
TEST(NormalizeLimit, MaterialsMeetTheTargetAndTheCeilingAndSaySo) {
  ScratchDir dir;
  double dark = 0;
  const Material materials[] = {
      {"drums", 44100, [&](double t, double noise) { return Drums(t, noise, dark); }},
      {"music", 48000, Music},
      {"speech", 44100, Speech},
  };
  struct Target {
    const char* lufs;
    const char* dbtp;
  };
  int on_target = 0, limited = 0;
  const std::string out = dir / "out.wav", plain = dir / "plain.wav";
  for (const Material& m : materials) {
    const std::string in = WriteSound(dir / (std::string(m.name) + ".wav"), m.rate, 16, 6, m.shape);
    for (const Target& target : {Target{"-14", "-1"}, Target{"-16", "-1"}, Target{"-10", "-2"}}) {
      SCOPED_TRACE(std::string(m.name) + " at " + target.lufs + " LUFS, " + target.dbtp + " dBTP");
      const std::vector<std::string> args = {"--loudness", target.lufs, "--true-peak", target.dbtp, "-o"};
      std::vector<std::string> with_limit = args;
      with_limit.insert(with_limit.begin(), "--limit");
      const RunResult run = RunTool(Args(with_limit, {out, in}));
      ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
      const double lufs = Libebur128(out, 1, m.rate).integrated_lufs;
      const double shortfall = Number(run.out, "([0-9.]+) LU short of");
      EXPECT_NEAR(lufs, std::stod(target.lufs) - (std::isnan(shortfall) ? 0 : shortfall), 0.1) << run.out;
      on_target += std::isnan(shortfall);
      EXPECT_LE(IdealPeakDb(out), std::stod(target.dbtp)) << run.out;
      const double reduction = Number(run.out, "limited by up to ([0-9.]+) dB on [0-9.]+ %");
      if (std::isnan(reduction)) {
        ASSERT_EQ(RunTool(Args(args, {plain, in})).code, ExitCode::kOk);
        EXPECT_EQ(ReadBytes(out), ReadBytes(plain)) << run.out;
        continue;
      }
      ++limited;
      EXPECT_GT(reduction, 0) << run.out;
      // The depth, the threshold's margin under the ceiling, and at most 1 dB
      // more on a crest the measuring pass ranked low.
      EXPECT_LE(reduction, 7.15) << run.out;
      if (!std::isnan(shortfall)) EXPECT_NEAR(reduction, 6.1, 0.15) << run.out;
      const RunResult dry = RunTool(Args(Args({"-n"}, with_limit), {out, in}));
      EXPECT_EQ(Number(dry.out, "limited by up to ([0-9.]+) dB"), reduction) << dry.out;
    }
  }
  EXPECT_GE(on_target, 5);
  EXPECT_GE(limited, 5);
}

TEST(NormalizeLimit, ASteadyToneIsLimitedByTheDepthAndLandsShortSayingBy) {
  ScratchDir dir;
  const std::string limited = dir / "limited.wav";
  // A steady tone gives up no loudness to limiting but all of it: limited
  // by the depth, short of the target by the rest, and said.
  const std::string tone =
      WriteSound(dir / "tone.wav", 48000, 16, 3, [](double t, double) { return 0.5 * std::sin(2 * kPi * 1000 * t); });
  const RunResult shortfall =
      RunTool({"--loudness", "-3", "--true-peak", "-1", "--limit", "--limit-depth", "3", "-o", limited, tone});
  ASSERT_EQ(shortfall.code, ExitCode::kOk) << shortfall.err;
  EXPECT_NEAR(Number(shortfall.out, "limited by up to ([0-9.]+) dB"), 3, 0.2) << shortfall.out;
  const double lufs = Libebur128(limited, 1, 48000).integrated_lufs;
  EXPECT_NEAR(Number(shortfall.out, "([0-9.]+) LU short of -3.00 LUFS"), -3 - lufs, 0.1) << shortfall.out;
  EXPECT_LE(IdealPeakDb(limited), -1);
  const RunResult json =
      RunTool({"--loudness", "-3", "--true-peak", "-1", "--limit", "--limit-depth", "3", "--json", "-n", "-o", limited, tone});
  EXPECT_NE(json.out.find("\"limited\":{\"largest_reduction_db\":3."), std::string::npos) << json.out;
}

// --album: one gain, solved for the album's loudness with each track
// limited on its own, and the album's line naming the tracks limited.
TEST(NormalizeLimit, AnAlbumGetsOneGainAndEachTrackItsOwnLimiting) {
  ScratchDir dir;
  double dark = 0;
  const std::string drums =
      WriteSound(dir / "drums.wav", 44100, 16, 6, [&](double t, double noise) { return Drums(t, noise, dark); });
  const std::string music = WriteSound(dir / "music.wav", 44100, 16, 6, Music);
  const RunResult run = RunTool({"--album", "--loudness", "-16", "--true-peak", "-1", "--limit", drums, music});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_NE(run.out.find("for every file, limited: " + drums + " (up to"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("LU short"), std::string::npos) << run.out;
  for (const std::string& track : {drums, music}) EXPECT_LE(IdealPeakDb(track), -1) << track;
  // The album's blocks gated together: the tracks one after the other.
  const std::string whole = dir / "whole.wav";
  Sox({drums, music, whole});
  EXPECT_NEAR(Libebur128(whole, 1, 44100).integrated_lufs, -16, 0.1) << run.out;
}

}  // namespace
}  // namespace normalize::test
