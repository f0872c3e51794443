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

TEST(NormalizeGainSolver, ReachesTheTargetWhereSubtractionMissesAndAgreesWhereItIsRight) {
  // A hit that decays 2.5 dB a second into digital silence; hits with quieter
  // rings after them and a room's noise just above the gate between.
  std::vector<double> tail(50, 0.0), hits;
  for (double lufs = -10; lufs > -110; lufs -= 0.25) tail.push_back(PowerAt(lufs));
  for (int i = 0; i < 10; ++i) {
    for (const auto& [lufs, count] : {std::pair{-20.0, 1}, {-40.0, 2}, {-68.0, 20}}) {
      hits.insert(hits.end(), count, PowerAt(lufs));
    }
    hits.push_back(0);
  }
  for (const auto& [blocks, target] :
       {std::pair{&tail, -23.0}, {&tail, -40.0}, {&tail, -5.0}, {&hits, -30.0}, {&hits, -45.0}}) {
    const double subtraction = target - *GatedLoudness(*blocks, 0);
    EXPECT_GT(std::fabs(*GatedLoudness(*blocks, subtraction) - target), 0.05) << target;
    EXPECT_NEAR(*GatedLoudness(*blocks, GainForLoudness(*blocks, target).value()), target, 1e-6) << target;
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
}

}  // namespace
}  // namespace normalize::test
