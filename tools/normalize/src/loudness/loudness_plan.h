#pragma once
// --loudness: measuring a file and the one gain that brings its integrated
// loudness to the target, held below a true-peak ceiling where one is given.
#include <optional>
#include <vector>

#include "loudness/loudness_analysis.h"
#include "samples/gain_plan.h"
#include "wav/wav_format.h"

namespace normalize {

class StreamProcessor;

// Every loudness figure of the file, in one read-only pass; with
// `ceiling_peak` also the peak a true-peak ceiling is held against. Throws
// Failure (unsupported) for a sample rate too low to K-weight.
LoudnessFigures MeasureLoudness(StreamProcessor& processor, const SampleFormat& format, bool ceiling_peak = false);

struct LoudnessGain {
  GainPlan plan;
  double wanted_db = 0;           // what the target alone asks for
  bool held_by_ceiling = false;   // the true-peak ceiling asked for less
  std::optional<double> result_lufs;  // the loudness with plan's gain; nothing: below the gate
};

// A file's peak as the ceiling is held against, and the format the result is
// written in.
struct CeilingPeak {
  double peak = 0;  // full scale 1
  SampleFormat format;
};

// The one gain that brings the gating blocks (of one file, or of several
// together) to the target, lowered where needed so that no file's peak passes
// the ceiling. Nothing when the blocks have no loudness (silent, below the
// gate). The ceiling holds for the written result: integer files keep one
// step of their resolution in reserve for the rounding of every sample (whose
// error the oversampling filter can carry into the peaks between them).
std::optional<LoudnessGain> LoudnessGainFor(double target_lufs, std::optional<double> ceiling_dbtp,
                                            const std::vector<double>& block_powers,
                                            const std::vector<CeilingPeak>& peaks);

}  // namespace normalize
