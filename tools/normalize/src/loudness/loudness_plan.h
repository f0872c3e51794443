#pragma once
// --loudness: measuring a file and the one gain that brings its integrated
// loudness to the target, held below a true-peak ceiling where one is given.
#include <optional>

#include "loudness/loudness_analysis.h"
#include "samples/gain_plan.h"
#include "wav/wav_format.h"

namespace normalize {

class StreamProcessor;

// Every loudness figure of the file, in one read-only pass. Throws Failure
// (unsupported) for a sample rate too low to K-weight.
LoudnessFigures MeasureLoudness(StreamProcessor& processor, const SampleFormat& format);

struct LoudnessGain {
  GainPlan plan;
  double wanted_db = 0;           // what the target alone asks for
  bool held_by_ceiling = false;   // the true-peak ceiling asked for less
};

// Nothing when the file has no integrated loudness (silent, below the gate).
// The ceiling holds for the written result: integer files keep one step of
// their resolution in reserve for the rounding of every sample (whose error
// the oversampling filter can carry into the peaks between them).
std::optional<LoudnessGain> LoudnessGainFor(double target_lufs, std::optional<double> ceiling_dbtp,
                                            const LoudnessFigures& figures, const SampleFormat& format);

}  // namespace normalize
