#include "job/planner.h"

#include "job/decibels.h"

namespace normalize {

std::unique_ptr<Planner> PlannerFor(const Options& options) {
  if (options.analyze) return AnalysisPlanner();
  switch (options.mode) {
    case Mode::kRatio: return FixedGainPlanner(RatioGain(options.value), options.abort_below_db);
    case Mode::kLevel: return FixedGainPlanner(LevelGain(options.value), options.abort_below_db);
    case Mode::kPercent: return PeakPlanner(options.value, options.abort_below_db);
    case Mode::kLoudness:
      return LoudnessPlanner(options.loudness_lufs, options.true_peak_dbtp,
                             options.limit ? std::optional<double>(options.limit_depth_db) : std::nullopt,
                             options.abort_below_db);
  }
  return nullptr;
}

// -x: a decision to write is turned into leaving the files alone when its
// gain is below the threshold.
Decision Planner::Decide(const std::vector<MeasuredFile>& files) const {
  Decision decision = Plan(files);
  if (!decision.plan || decision.already_right || !threshold_db_ || !BelowThreshold(decision.gain(), *threshold_db_)) {
    return decision;
  }
  Decision held = Decision::LeaveAlone(ExitCode::kBelowThreshold,
                                       "gain " + Decibels(decision.gain().db, true) + " dB is below -x " +
                                           std::to_string(*threshold_db_) + " dB; " + LeftAlone(files));
  held.figures = decision.figures;
  return held;
}

}  // namespace normalize
