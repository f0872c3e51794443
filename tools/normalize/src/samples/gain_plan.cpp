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
  // A float's neighbours lie at least 2^-24 of its magnitude away (a
  // double's 2^-53): a product nearer than half that rounds back to it.
  if (format.is_float()) return change < (format.encoding == SampleEncoding::kFloat32 ? 0x1p-25 : 0x1p-54);
  // In steps of the valid bits: the low bits a shorter format leaves zero are no steps.
  const double steps = std::ldexp(peak.magnitude(), static_cast<int>(format.valid_bits) - 1);
  return steps * change < 0.5;
}

bool BelowThreshold(const GainPlan& plan, int threshold_db) { return plan.db < threshold_db; }

}  // namespace normalize
