#pragma once
// What a mode decides for one file. A planner names the read-only pass it
// needs before any writing (nothing, the peak, or the loudness), then turns
// what that pass found into the gain, or into the reason the file is left as
// it is. Adding a mode means adding a planner.
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cli/command_line.h"
#include "failure.h"
#include "loudness/loudness_analysis.h"
#include "samples/gain_plan.h"
#include "samples/peak.h"
#include "wav/wav_format.h"

namespace normalize {

enum class Measurement {
  kNothing,
  kPeak,
  kLoudness,
  kLoudnessAndCeilingPeak,  // also the finer peak a true-peak ceiling is held against
};

// What the read-only pass found: the member its measurement names.
struct Measured {
  std::optional<PeakTracker> peak;
  std::optional<LoudnessFigures> loudness;
};

// --true-peak held the gain below what the loudness target asked for.
struct CeilingHold {
  double ceiling_dbtp = 0;
  double target_lufs = 0;
  double wanted_db = 0;               // what the target alone asked for
  std::optional<double> result_lufs;  // nothing: the result is below the gate
};

struct Decision {
  std::optional<GainPlan> gain;  // nothing: the file is left as it is
  ExitCode code = ExitCode::kOk;  // the file's exit code when it is left as it is
  // Why it is left as it is, after "<file>: "; empty where the measured
  // figures are the answer (--analyze).
  std::string why;
  std::optional<CeilingHold> ceiling;

  static Decision Write(const GainPlan& gain) {
    Decision decision;
    decision.gain = gain;
    return decision;
  }
  static Decision LeaveAlone(ExitCode code, std::string why = "") {
    Decision decision;
    decision.code = code;
    decision.why = std::move(why);
    return decision;
  }
};

class Planner {
 public:
  virtual ~Planner() = default;
  virtual Measurement measurement() const = 0;
  // False for a mode that only measures: no target is checked or written.
  virtual bool writes() const { return true; }
  virtual Decision Plan(const Measured& measured, const WavLayout& layout) const = 0;
};

std::unique_ptr<Planner> FixedGainPlanner(GainPlan gain);  // -l, -a
std::unique_ptr<Planner> PeakPlanner(int percent);          // -m
std::unique_ptr<Planner> LoudnessPlanner(double target_lufs, std::optional<double> ceiling_dbtp);
std::unique_ptr<Planner> AnalysisPlanner();                 // --analyze

// The planner of the mode the options choose.
std::unique_ptr<Planner> PlannerFor(const Options& options);

// -x: a decision to write is turned into leaving the file alone when its gain
// is below `threshold_db`.
Decision HeldByThreshold(Decision decision, std::optional<int> threshold_db);

}  // namespace normalize
