// The gain solver on gating blocks: where the subtraction of the measured
// loudness misses (blocks crossing the -70 LUFS gate) and where it is right.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "loudness/gain_solver.h"
#include "loudness/loudness_meter.h"

namespace normalize::test {
namespace {

double PowerAt(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10); }

void Add(std::vector<double>& blocks, double lufs, int count) { blocks.insert(blocks.end(), count, PowerAt(lufs)); }

TEST(NormalizeGainSolver, ReachesTheTargetWhereSubtractionMisses) {
  // A hit that decays 2.5 dB a second into digital silence.
  std::vector<double> tail;
  for (double lufs = -10; lufs > -110; lufs -= 0.25) tail.push_back(PowerAt(lufs));
  Add(tail, -200, 50);
  // Hits with quieter rings after them and a room's noise just above the gate between.
  std::vector<double> hits;
  for (int i = 0; i < 10; ++i) {
    Add(hits, -20, 1);
    Add(hits, -40, 2);
    Add(hits, -68, 20);
    hits.push_back(0);
  }
  const struct {
    const std::vector<double>& blocks;
    double target;
  } cases[] = {{tail, -23}, {tail, -40}, {tail, -5}, {hits, -30}, {hits, -45}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const double subtraction = c.target - *GatedLoudness(c.blocks, 0);
    EXPECT_GT(std::fabs(*GatedLoudness(c.blocks, subtraction) - c.target), 0.05);
    const auto gain = GainForLoudness(c.blocks, c.target);
    ASSERT_TRUE(gain);
    EXPECT_NEAR(*GatedLoudness(c.blocks, *gain), c.target, 1e-6);
  }

  // Steady material: every block stays on its side of the gates.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> level(-33, -27);
  std::vector<double> steady;
  for (int i = 0; i < 600; ++i) steady.push_back(PowerAt(level(random)));
  for (const double target : {-23.0, -14.0, -36.0}) {
    EXPECT_NEAR(*GainForLoudness(steady, target), target - *GatedLoudness(steady, 0), 0.001);
  }
  EXPECT_FALSE(GainForLoudness({0, 0, PowerAt(-75)}, -23));
  EXPECT_FALSE(GainForLoudness({}, -23));
}

}  // namespace
}  // namespace normalize::test
