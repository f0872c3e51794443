#pragma once
// The steps of one file's run, the same for a file on its own and for each
// file of an album: open and measure, then write and put in place.
#include <functional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "job/file_job.h"
#include "job/planner.h"
#include "job/reporter.h"
#include "samples/stream_processor.h"

namespace normalize {

// Checks the target (unless nothing is to be written), opens the input (and
// locks it, unless this is a dry run), reads its layout and takes the
// planner's measurement, telling `report`. Throws Failure.
void OpenAndMeasure(FileJob& job, const Options& options, const Planner& planner, Reporter& report);

// Opens (and locks, unless this is a dry run) the input, ahead of
// OpenAndMeasure. Throws Failure.
void OpenLocked(FileJob& job, const Options& options);

// Opens (and locks) the input again to write it, provided its name still
// leads to the file measured as `job.identity`; reads its layout where it has
// none yet (an album finished by a rerun), checking the target. Throws Failure.
void Reopen(FileJob& job, const Options& options);

// What happens around the moment a result replaces its target.
struct ReplaceSteps {
  // Just before: given the result's file (see AtomicOutputFile::identity);
  // throwing Failure leaves the target as it is.
  std::function<void(const platform::FileIdentity& result)> before;
  // The moment it is in place.
  std::function<void()> in_place;
};

// Writes the result of member `member` of the group `plan` was made for to a
// temporary and puts it in place of the target, provided the input's name
// still leads to the file that was measured (reopening it first where it was
// closed); the input is closed afterwards. Throws Failure, leaving the target
// as it was. What was written goes into `job` (written_figures, written_gain:
// see PlanWrittenResult).
WriteResult WriteAndReplace(FileJob& job, const Options& options, const WritePlan& plan, std::size_t member,
                            ProgressFn progress, const ReplaceSteps& steps = {});

// A dry run's part of what WriteAndReplace does: where the plan limits, the
// gain solved and the result measured, as the real run would. Throws Failure.
void PlanWithoutWriting(FileJob& job, const Options& options, const WritePlan& plan, std::size_t member);

// Throws Failure unless `job.input` still names the file that was measured:
// not replaced, rewritten, cut or deleted since.
void CheckStillMeasured(const FileJob& job);

// Passes on what `job` said (its error lines, then its output lines), in
// the run's order. Output that cannot be written ends the run (see
// JobConsole::stop_run).
void PassOn(FileJob& job, JobConsole& console);

}  // namespace normalize
