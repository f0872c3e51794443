#include "samples/gain_plan.h"

#include <algorithm>
#include <cmath>

namespace normalize {
namespace {

GainPlan FromFactor(double factor) { return GainPlan{factor, 20.0 * std::log10(std::fabs(factor))}; }

}  // namespace

GainPlan GainOf(double factor) { return FromFactor(factor); }

GainPlan RatioGain(int ratio) { return FromFactor(ratio); }

GainPlan LevelGain(int level_db) { return GainPlan{std::pow(10.0, level_db / 20.0), double(level_db)}; }

std::optional<GainPlan> PercentGain(int percent, const Peak& peak, const SampleFormat& format) {
  if (peak.magnitude() == 0) return std::nullopt;
  const double target = percent / 100.0;
  double factor = HUGE_VAL;
  if (peak.negative > 0) factor = target / peak.negative;
  if (peak.positive > 0) {
    factor = std::min(factor, std::min(target, PositiveCeiling(format)) / peak.positive);
  }
  return FromFactor(factor);
}

bool GainChangesNoSample(const GainPlan& plan, const Peak& peak, const SampleFormat& format) {
  if (plan.factor == 1) return true;
  const double change = std::fabs(plan.factor - 1);
  // Floats: a gain within a few of the format's last bits of 1 is where the
  // rounding of a percentage (seldom a float exactly) and of its gain leaves
  // a file already at it; it would move samples by those bits only, so a
  // second run of the same command leaves the file as it is.
  if (format.is_float()) return change <= (format.encoding == SampleEncoding::kFloat32 ? 0x1p-22 : 0x1p-51);
  // In steps of the valid bits: the low bits a shorter format leaves zero are no steps.
  const double steps = std::ldexp(peak.magnitude(), static_cast<int>(format.valid_bits) - 1);
  return steps * change < 0.5;
}

bool GainSilences(const GainPlan& plan, double peak, const SampleFormat& format) {
  if (format.is_float() || !(peak > 0)) return false;
  return std::ldexp(peak, static_cast<int>(format.valid_bits) - 1) * std::fabs(plan.factor) < 0.5;
}

double QuietestKeepingDb(double peak, const SampleFormat& format) {
  return 20 * std::log10(0.5 / std::ldexp(peak, static_cast<int>(format.valid_bits) - 1));
}

bool BelowThreshold(const GainPlan& plan, int threshold_db) { return plan.db < threshold_db; }

}  // namespace normalize
