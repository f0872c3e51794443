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

// True when `plan` would leave a file peaking at `peak` as it is: integers
// move by less than half a step, floats by a few of their last bits at most.
bool GainChangesNoSample(const GainPlan& plan, const Peak& peak, const SampleFormat& format);

// True when `plan` rounds every sample of an integer file whose loudest
// sample is `peak` (a fraction of full scale, not 0) to nothing: the result
// would be silent. QuietestKeepingDb is the smallest gain that keeps it.
bool GainSilences(const GainPlan& plan, double peak, const SampleFormat& format);
double QuietestKeepingDb(double peak, const SampleFormat& format);

// -x: true when the gain is smaller than `threshold_db`.
bool BelowThreshold(const GainPlan& plan, int threshold_db);

}  // namespace normalize
