#include "loudness/gain_solver.h"

#include <cmath>
#include <limits>

#include "loudness/loudness_meter.h"

namespace normalize {
namespace {

// Closer than this the gain is the one asked for (a ten-millionth of a dB).
constexpr double kPrecisionDb = 1e-7;
constexpr int kMaxSteps = 200;

}  // namespace

std::optional<double> GainForLoudness(const std::vector<double>& block_powers, double target_lufs) {
  const std::optional<double> measured = GatedLoudness(block_powers, 0);
  if (!measured) return std::nullopt;
  // Below the gate counts as quieter than any target.
  const auto loudness = [&](double db) {
    return GatedLoudness(block_powers, db).value_or(-std::numeric_limits<double>::infinity());
  };
  // Between gate crossings the loudness follows the gain dB for dB, so where
  // no block crosses a gate the subtraction is exact: steady material needs
  // nothing more.
  const double guess = target_lufs - *measured;
  if (std::fabs(loudness(guess) - target_lufs) < kPrecisionDb) return guess;

  // A gain too low and one high enough, as near the guess as doubling steps
  // find. Blocks that cross a gate upwards only ever lower the gated mean, so
  // the loudness rises but for downward jumps: where it passes the target
  // from below it does so continuously, and bisection finds that point.
  double low = guess, high = guess;
  double step = 1;
  for (int i = 0; i < kMaxSteps && loudness(high) < target_lufs; ++i, step *= 2) {
    low = high;
    high = guess + step;
  }
  for (int i = 0; i < kMaxSteps && loudness(low) >= target_lufs; ++i, step *= 2) {
    high = low;
    low = guess - step;
  }
  for (int i = 0; i < kMaxSteps && high - low > kPrecisionDb; ++i) {
    const double middle = (low + high) / 2;
    const double at_middle = loudness(middle);
    // The gated blocks at the middle give the exact answer when it keeps them.
    const double exact = middle + (target_lufs - at_middle);
    if (std::isfinite(exact) && exact > low && exact < high &&
        std::fabs(loudness(exact) - target_lufs) < kPrecisionDb) {
      return exact;
    }
    (at_middle < target_lufs ? low : high) = middle;
  }
  return high;
}

}  // namespace normalize
