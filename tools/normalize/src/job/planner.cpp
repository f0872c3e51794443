#include "job/planner.h"

#include "job/decibels.h"

namespace normalize {

std::unique_ptr<Planner> PlannerFor(const Options& options) {
  if (options.analyze) return AnalysisPlanner();
  switch (options.mode) {
    case Mode::kRatio: return FixedGainPlanner(RatioGain(options.value));
    case Mode::kLevel: return FixedGainPlanner(LevelGain(options.value));
    case Mode::kPercent: return PeakPlanner(options.value);
    case Mode::kLoudness: return LoudnessPlanner(options.loudness_lufs, options.true_peak_dbtp);
  }
  return nullptr;
}

Decision HeldByThreshold(Decision decision, std::optional<int> threshold_db) {
  if (!decision.gain || !threshold_db || !BelowThreshold(*decision.gain, *threshold_db)) return decision;
  Decision held;
  held.code = ExitCode::kBelowThreshold;
  held.why = "gain " + Decibels(decision.gain->db, true) + " dB is below -x " + std::to_string(*threshold_db) +
             " dB; file left untouched";
  return held;
}

}  // namespace normalize
