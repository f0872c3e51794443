#include "job/job.h"

#include <memory>
#include <vector>

#include "cli/run_inputs.h"
#include "cli/terminal_text.h"
#include "job/analysis_line.h"
#include "job/batch.h"
#include "job/file_job.h"
#include "job/file_steps.h"
#include "job/group_run.h"
#include "job/output_dir.h"
#include "job/run_report.h"
#include "platform/processors.h"

namespace normalize {
namespace {

// A notice about an input (an empty folder, a file named twice), said in its place.
void Say(const RunInput& notice, const RunContext& run, FileJob& job) {
  job.console.err << (run.console.err_is_terminal ? TerminalSafe(notice.message) : notice.message) << "\n";
  if (notice.reason.empty()) return;
  const std::string json = AnalysisJsonFailure(notice.name, notice.reason);
  if (run.options.json) job.console.out << json << "\n";
  if (run.console.report) job.report_lines += run.console.report->Line(json);
}

// Every file a group of its own, up to -j at once, each file's lines (and
// each notice) passed on in the order named. Only the files in flight, and
// the lines held back behind a slow one, are in memory.
ExitCode EachAlone(const std::vector<RunInput>& entries, const RunContext& run) {
  std::vector<std::unique_ptr<FileJob>> held(entries.size());
  std::vector<ExitCode> codes(entries.size(), ExitCode::kOk);
  std::vector<std::size_t> file_of;  // the entry's place among the files; SIZE_MAX for a notice
  std::size_t files = 0;
  for (const RunInput& entry : entries) file_of.push_back(entry.notice() ? SIZE_MAX : files++);
  const auto name = [&](std::size_t i) -> const std::string& {
    return entries[i].notice() ? entries[i].name : entries[i].file;
  };
  BatchProgress progress(run.console.err, run.console.show_batch_progress && entries.size() > 1);
  ExitCode worst = ExitCode::kOk;
  InOrderShown(
      entries.size(), run.jobs, progress, name,
      [&](std::size_t i) {
        if (!entries[i].notice()) {
          GroupRun alone({Member{file_of[i], entries[i].file}}, run, false, nullptr);
          codes[i] = alone.Run();
          held[i] = std::move(alone.members().front());
          // Its lines may wait for a slower file's; its input need not.
          held[i]->file.reset();
          return;
        }
        held[i] = std::make_unique<FileJob>(i, entries[i].name, std::nullopt, run.console, true);
        Say(entries[i], run, *held[i]);
        codes[i] = entries[i].code;
      },
      [&](std::size_t i) {
        PassOn(*held[i], run.console);
        if (file_of[i] != SIZE_MAX) run.ledger.PassedOn(file_of[i]);
        worst = Worse(worst, codes[i]);
        held[i].reset();
      });
  return worst;
}

}  // namespace

ExitCode RunJob(const Options& options, JobConsole& console) {
  const std::unique_ptr<Planner> planner = PlannerFor(options);
  const std::vector<RunInput> entries = ExpandInputs(options.inputs, options.recursive);
  std::vector<std::string> files;
  for (const RunInput& entry : entries) {
    if (!entry.notice()) files.push_back(entry.file);
  }
  if (options.output && files.size() > 1) {
    console.err << "normalize: -o takes a single input file; the inputs name " << files.size() << "\n";
    return ExitCode::kUsage;
  }
  if (const std::string problem = OutputDirProblem(options, files); !problem.empty()) {
    console.err << "normalize: " << problem << "\n";
    return ExitCode::kUsage;
  }
  const unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs) : platform::ProcessorCount();
  // Another run's album that was stopped part way keeps its tracks to itself.
  std::vector<AlbumJournal> journals;
  if (planner->writes()) journals = UnfinishedAlbumsBeside(files);
  std::vector<std::string> shown = files;
  if (console.err_is_terminal) {
    for (std::string& name : shown) name = TerminalSafe(name);
  }
  RunLedger ledger(std::move(shown));
  RunReport report(options, *planner, files.size(), console);
  if (!report.begun()) return ExitCode::kOutput;
  const RunContext run{options, *planner, console, ledger, journals, jobs, ThreadsPerFile(jobs, files.size()),
                       options.album || entries.size() > 1};
  if (!options.album) return report.Finish(EachAlone(entries, run));

  // Albums: the notices first, then each album on every job.
  ExitCode worst = ExitCode::kOk;
  for (const RunInput& entry : entries) {
    if (!entry.notice()) continue;
    FileJob notice(0, entry.name, std::nullopt, console, true);
    Say(entry, run, notice);
    PassOn(notice, console);
    worst = Worse(worst, entry.code);
  }
  for (const Group& group : GroupsOf(files, true, options.album_per_folder)) {
    worst = Worse(worst, GroupRun(group, run, true, &console).Run());
  }
  return report.Finish(worst);
}

}  // namespace normalize
