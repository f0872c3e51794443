#pragma once
// How much to amplify: from the chosen mode and, for -m, the measured peak.
#include <optional>

#include "samples/sample_kernel.h"
#include "wav/wav_format.h"

namespace normalize {

struct GainPlan {
  double factor = 1;  // what every sample is multiplied by
  double db = 0;      // 20 log10 |factor|
};

GainPlan GainOf(double factor);
GainPlan RatioGain(int ratio);
GainPlan LevelGain(int level_db);

// The gain that brings the peak to `percent` of full scale; a positive peak of
// an integer format goes no higher than the largest value it can hold. Nothing
// when the file is silent.
std::optional<GainPlan> PercentGain(int percent, const Peak& peak, const SampleFormat& format);

// True when `plan` would leave every sample of a file peaking at `peak` as it
// is: integers move by less than half a step, floats not at all.
bool GainChangesNoSample(const GainPlan& plan, const Peak& peak, const SampleFormat& format);

// -x: true when the gain is smaller than `threshold_db`.
bool BelowThreshold(const GainPlan& plan, int threshold_db);

}  // namespace normalize
