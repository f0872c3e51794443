#include "job/file_run.h"

#include "job/file_steps.h"
#include "job/output_dir.h"
#include "job/reporter.h"

namespace normalize {

ExitCode RunFile(FileJob& job, const Options& options, const Planner& planner, RunLedger& ledger,
                 const std::vector<AlbumJournal>& unfinished) {
  Reporter report(options, job);
  try {
    if (planner.writes()) RefuseUnfinishedAlbum(job, unfinished);
    OpenAndMeasure(job, options, planner, report);
    const Decision decision = planner.Decide({MeasuredFile{job.measured, job.layout}});
    if (!decision.writes(WritesElsewhere(options))) {
      report.NotWritten(decision);
      return decision.code;
    }
    if (options.dry_run) {
      PlanWithoutWriting(job, options, *decision.plan, 0);
      report.WouldWrite(decision);
      return ExitCode::kOk;
    }
    // The gain applied, which the rounding may have moved a little from the plan's.
    const ReplaceSteps steps{{}, [&] { ledger.Written(job.index, job.written_gain.value_or(decision.gain()).db); }};
    const WriteResult result = WriteAndReplace(job, options, *decision.plan, 0, report.Progress(), steps);
    report.Written(decision, result);
    return ExitCode::kOk;
  } catch (const Failure& failure) {
    report.Failed(failure);
    return failure.code();
  }
}

}  // namespace normalize
