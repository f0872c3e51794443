#include "job/write_plan.h"

#include <algorithm>
#include <cmath>

namespace normalize {
namespace {

// Below this distance between the target and the level of one step, the
// rounding (or the dither's noise) can move the integrated loudness by more
// than a few thousandths of a LU; above it, it cannot.
constexpr double kCoarseStepsDb = 50;

}  // namespace

bool StepsMoveLoudness(double lufs, const SampleFormat& format) {
  if (format.is_float()) return false;
  const double step_db = -6.0206 * (format.valid_bits - 1);
  return lufs - step_db < kCoarseStepsDb;
}

bool WritePlan::ChecksWrittenLoudness(const SampleFormat& format) const {
  return target_lufs && StepsMoveLoudness(*target_lufs, format);
}

// A float file's peak may lie far outside any container (or be NaN); its
// bounds are never dithered against, but the cast must stay defined.
static std::int32_t ClampedToInt32(double value) {
  if (!(value == value)) return 0;
  return static_cast<std::int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

SampleBounds BoundsOfPeak(const PeakTracker& peak) { return {ClampedToInt32(peak.min), ClampedToInt32(peak.max)}; }

SampleBounds BoundsOfMagnitude(double sample_peak, const SampleFormat& format) {
  const double full_scale = std::ldexp(1.0, 8 * static_cast<int>(format.container_bytes) - 1);
  // A sample at the negative full scale of a 32-bit container is 2^31: kept
  // in 64 bits until it is clamped, never wrapped.
  const auto loudest = std::min(std::llround(sample_peak * full_scale), static_cast<long long>(full_scale));
  return {static_cast<std::int32_t>(-loudest), static_cast<std::int32_t>(std::min(loudest, static_cast<long long>(full_scale) - 1))};
}

}  // namespace normalize
