// What each mode decides from made-up measurements: the write plan a file, an
// album and -x get, with no file read.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "job/planner.h"
#include "job/write_plan.h"

namespace normalize {
namespace {

WavLayout Pcm(unsigned bits, unsigned container_bytes = 0) {
  WavLayout layout;
  layout.format.encoding = SampleEncoding::kSigned16;
  layout.format.channels = 1;
  layout.format.container_bytes = container_bytes ? container_bytes : bits / 8;
  layout.format.valid_bits = bits;
  layout.format.block_align = layout.format.container_bytes;
  layout.format.sample_rate = 48000;
  return layout;
}

// A file of 400 ms blocks all at `lufs`, its loudest sample at `peak`.
Measured Loudness(double lufs, double peak, int blocks = 50) {
  LoudnessFigures figures;
  figures.integrated_lufs = lufs;
  figures.sample_peak = figures.true_peak = figures.ceiling_peak = peak;
  figures.block_powers.assign(blocks, std::pow(10.0, (lufs + 0.691) / 10));
  return Measured{std::nullopt, figures};
}

Measured Peaks(double min, double max) { return Measured{PeakTracker{min, max, 0}, std::nullopt}; }

TEST(NormalizePlanner, DecideReturnsTheWritePlanEachModeMeans) {
  // -3 dBTP less one 16-bit step, over a peak of -6 dBFS.
  const double kHeldDb = 20 * std::log10((std::pow(10.0, -3 / 20.0) - 1 / 32768.0) / 0.5);
  const WavLayout pcm16 = Pcm(16);
  const Measured quiet = Loudness(-30, 0.1);
  const Measured loud = Loudness(-20, 0.5);
  struct Case {
    const char* name;
    std::unique_ptr<Planner> planner;
    std::vector<const Measured*> files;
    double gain_db;
    std::optional<double> target_lufs;
    bool may_raise;
    std::vector<std::optional<SampleBounds>> bounds;
    std::optional<LimitPlan> limit = {};
  };
  Case cases[] = {
      {"a file alone is held to its target as written", LoudnessPlanner(-23, std::nullopt, std::nullopt, std::nullopt), {&quiet},
       7, -23.0, true, {SampleBounds{-3277, 3277}}},
      {"an album keeps its one gain", LoudnessPlanner(-23, std::nullopt, std::nullopt, std::nullopt), {&quiet, &loud},
       -0.4, std::nullopt, true, {SampleBounds{-3277, 3277}, SampleBounds{-16384, 16384}}},
      {"a ceiling's hold is never raised", LoudnessPlanner(-10, -3.0, std::nullopt, std::nullopt), {&loud}, kHeldDb,
       -20 + kHeldDb, false, {SampleBounds{-16384, 16384}}},
      {"--limit takes what the target asks", LoudnessPlanner(-10, -3.0, 12.0, std::nullopt), {&loud}, 10, -10.0,
       true, {SampleBounds{-16384, 16384}}, LimitPlan{-3, 12, kHeldDb + 12, -10}},
      {"--limit takes no more than its depth", LoudnessPlanner(-10, -3.0, 6.0, std::nullopt), {&loud}, kHeldDb + 6,
       -10.0, true, {SampleBounds{-16384, 16384}}, LimitPlan{-3, 6, kHeldDb + 6, -10}},
      {"--limit leaves what stays under the ceiling", LoudnessPlanner(-23, -3.0, 6.0, std::nullopt), {&quiet}, 7,
       -23.0, true, {SampleBounds{-3277, 3277}}},
      {"-m keeps each file's own extremes", PeakPlanner(50, std::nullopt), {},
       20 * std::log10(16384.0 / 8192), std::nullopt, true, {SampleBounds{-8192, 4000}, SampleBounds{-100, 2000}}},
      {"a fixed gain knows no extremes", FixedGainPlanner(LevelGain(6), std::nullopt), {&quiet},
       6, std::nullopt, true, {}},
  };
  const Measured peak_a = Peaks(-8192, 4000);
  const Measured peak_b = Peaks(-100, 2000);
  cases[6].files = {&peak_a, &peak_b};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<MeasuredFile> files;
    for (const Measured* measured : c.files) files.push_back({*measured, pcm16});
    const Decision decision = c.planner->Decide(files);
    ASSERT_TRUE(decision.plan);
    EXPECT_NEAR(decision.gain().db, c.gain_db, 0.02);
    EXPECT_EQ(decision.plan->target_lufs.has_value(), c.target_lufs.has_value());
    if (c.target_lufs) {
      EXPECT_NEAR(*decision.plan->target_lufs, *c.target_lufs, 0.02);
    }
    EXPECT_EQ(decision.plan->may_raise, c.may_raise);
    EXPECT_EQ(decision.plan->bounds, c.bounds);
    ASSERT_EQ(decision.plan->limit.has_value(), c.limit.has_value());
    if (c.limit) {
      EXPECT_NEAR(decision.plan->limit->most_db, c.limit->most_db, 1e-9);
    }
  }
  // -x: a gain below the threshold writes nothing, and says so.
  const Decision held = LoudnessPlanner(-29, std::nullopt, std::nullopt, 3)->Decide({{quiet, pcm16}});
  EXPECT_FALSE(held.plan);
  EXPECT_EQ(held.code, ExitCode::kBelowThreshold);
  // A gain that rounds an 8-bit album to silence is refused; what was measured
  // is still told, the same in the text and in the JSON's figures.
  const Measured faint = Loudness(-40, 0.015);
  const Decision refused = LoudnessPlanner(-69, std::nullopt, std::nullopt, std::nullopt)->Decide(
      {{faint, Pcm(8)}, {faint, Pcm(8)}});
  EXPECT_EQ(refused.code, ExitCode::kBeyondFormat);
  for (const Decision* decision : {&held, &refused}) {
    EXPECT_EQ(decision->figures, FiguresText(decision->levels));
    EXPECT_TRUE(decision->levels.integrated_lufs);
  }
}

TEST(NormalizePlanner, TheWritePlansCheckAndBounds) {
  WritePlan plan{GainOf(2), -20.0, true, {}, std::nullopt};
  EXPECT_TRUE(plan.ChecksWrittenLoudness(Pcm(8).format));
  EXPECT_FALSE(plan.ChecksWrittenLoudness(Pcm(16).format));
  EXPECT_TRUE((WritePlan{GainOf(2), -45.0, true, {}, std::nullopt}.ChecksWrittenLoudness(Pcm(16).format)));
  plan.target_lufs.reset();
  EXPECT_FALSE(plan.ChecksWrittenLoudness(Pcm(8).format));

  // A sample at the negative full scale of a 32-bit container is never wrapped.
  EXPECT_EQ(BoundsOfMagnitude(1.0, Pcm(16, 4).format), (SampleBounds{INT32_MIN, INT32_MAX}));
  EXPECT_EQ(BoundsOfMagnitude(1.0, Pcm(16).format), (SampleBounds{-32768, 32767}));
  EXPECT_EQ(BoundsOfMagnitude(0.5, Pcm(8).format), (SampleBounds{-64, 64}));
}

}  // namespace
}  // namespace normalize
