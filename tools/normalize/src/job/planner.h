#pragma once
// What a mode decides. A planner names the read-only pass it needs before any
// writing (nothing, the peak, or the loudness), then turns what that pass
// found in one file, or in every file of an album together, into the one gain
// they get, or into the reason they are left as they are. Every rule of a
// mode lives in its planner; adding a mode means adding a planner.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "failure.h"
#include "loudness/loudness_analysis.h"
#include "job/decibels.h"
#include "job/write_plan.h"
#include "samples/gain_plan.h"
#include "samples/peak.h"
#include "samples/stream_processor.h"
#include "wav/input_file.h"
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

// One file as its planner sees it.
struct MeasuredFile {
  const Measured& measured;
  const WavLayout& layout;
};

// --true-peak held the gain below what the loudness target asked for.
struct CeilingHold {
  double ceiling_dbtp = 0;
  double target_lufs = 0;
  double wanted_db = 0;               // what the target alone asked for
  std::optional<double> result_lufs;  // nothing: the result is below the gate
};

struct Decision {
  std::optional<WritePlan> plan;  // nothing: the files are left as they are
  // The gain would change nothing: the files are left as they are, unless
  // the result goes to a file of its own (-o).
  ExitCode code = ExitCode::kOk;  // their exit code when they are left as they are
  // Why they are left as they are, after "<file>: " or "album: "; empty where
  // the measured figures are the answer (--analyze).
  std::string why;
  bool already_right = false;
  // What was measured, for the line: "loudness ... LUFS, true peak ... dBTP"
  // or "peak ... dBFS"; empty where nothing was.
  std::string figures;
  Levels levels;  // the same, as figures (an album's: of its files together)
  std::optional<double> result_lufs;  // the loudness the gain leads to, where it is known
  std::optional<CeilingHold> ceiling;

  static Decision Write(WritePlan plan) {
    Decision decision;
    decision.plan = std::move(plan);
    return decision;
  }
  static Decision LeaveAlone(ExitCode code, std::string why = "") {
    Decision decision;
    decision.code = code;
    decision.why = std::move(why);
    return decision;
  }
  static Decision AlreadyRight(WritePlan plan, const std::string& at) {
    Decision decision = LeaveAlone(ExitCode::kOk, "already at " + at + "; left as it was");
    decision.plan = std::move(plan);
    decision.already_right = true;
    return decision;
  }
  // Whether the files are to be written, when `own_output` (-o) is not.
  bool writes(bool own_output) const { return plan && (!already_right || own_output); }
  const GainPlan& gain() const { return plan->gain; }
};

class Planner {
 public:
  explicit Planner(std::optional<int> threshold_db = std::nullopt) : threshold_db_(threshold_db) {}
  virtual ~Planner() = default;
  virtual Measurement measurement() const = 0;
  // False for a mode that only measures: no target is checked or written.
  virtual bool writes() const { return true; }
  // The mode as a report names it ("analyze", "gain", "peak", "loudness"),
  // and the loudness it aims at, where it aims at one.
  virtual const char* ModeName() const = 0;
  virtual std::optional<double> TargetLufs() const { return std::nullopt; }

  // This planner's read-only pass over `input`, on up to `threads` threads.
  Measured Measure(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes, unsigned threads,
                   const ProgressFn& progress) const;

  // The one gain for `files` (one file, or an album), with -x applied.
  Decision Decide(const std::vector<MeasuredFile>& files) const;
  // What a gain of this planner's means, as the options that chose it: an
  // album stopped part way is finished only by a run that means the same.
  std::string Meaning() const;

 protected:
  virtual Decision Plan(const std::vector<MeasuredFile>& files) const = 0;
  virtual std::string ModeMeaning() const = 0;
  // What a decision to leave `files` alone says it did.
  static const char* LeftAlone(const std::vector<MeasuredFile>& files) {
    return files.size() == 1 ? "file left untouched" : "nothing written";
  }

 private:
  std::optional<int> threshold_db_;
};

std::unique_ptr<Planner> FixedGainPlanner(GainPlan gain, std::optional<int> threshold_db);  // -l, -a
std::unique_ptr<Planner> PeakPlanner(int percent, std::optional<int> threshold_db);        // -m
// `limit_depth_db`: --limit's deepest cut, where it is given.
std::unique_ptr<Planner> LoudnessPlanner(double target_lufs, std::optional<double> ceiling_dbtp,
                                         std::optional<double> limit_depth_db, std::optional<int> threshold_db);
std::unique_ptr<Planner> AnalysisPlanner();  // --analyze

// The planner of the mode the options choose: the one place past the command
// line that asks which mode is on.
std::unique_ptr<Planner> PlannerFor(const Options& options);

}  // namespace normalize
