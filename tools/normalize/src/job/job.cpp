#include "job/job.h"

#include <memory>
#include <vector>

#include "cli/run_inputs.h"
#include "cli/terminal_text.h"
#include "job/album.h"
#include "job/album_journal.h"
#include "job/analysis_line.h"
#include "job/batch.h"
#include "job/file_job.h"
#include "job/file_run.h"
#include "job/file_steps.h"
#include "job/planner.h"
#include "job/output_dir.h"
#include "job/run_ledger.h"
#include "job/run_report.h"
#include "platform/processors.h"

namespace normalize {
namespace {

// A notice about an input (an empty folder, a file named twice), said in its place.
void Say(const RunInput& notice, const Options& options, const JobConsole& console, std::ostream& out,
         std::ostream& err, std::string& report_lines) {
  err << (console.err_is_terminal ? TerminalSafe(notice.message) : notice.message) << "\n";
  if (notice.reason.empty()) return;
  const std::string json = AnalysisJsonFailure(notice.name, notice.reason);
  if (options.json) out << json << "\n";
  if (console.report) report_lines += console.report->Line(json);
}

std::vector<std::string> FilesOf(const std::vector<RunInput>& entries) {
  std::vector<std::string> files;
  for (const RunInput& entry : entries) {
    if (!entry.notice()) files.push_back(entry.file);
  }
  return files;
}

// Every file on its own, up to `jobs` at once, each file's lines (and each
// notice) passed on in the order named. Only the files in flight, and the
// lines held back behind a slow one, are in memory.
class EachFileRun {
 public:
  EachFileRun(const std::vector<RunInput>& entries, const Options& options, const Planner& planner,
              JobConsole& console, RunLedger& ledger, const std::vector<AlbumJournal>& unfinished)
      : entries_(entries),
        options_(options),
        planner_(planner),
        console_(console),
        ledger_(ledger),
        unfinished_(unfinished),
        slots_(entries.size()),
        progress_(console.err, console.show_batch_progress && entries.size() > 1) {
    std::size_t file = 0;
    for (const RunInput& entry : entries) file_index_.push_back(entry.notice() ? SIZE_MAX : file++);
  }

  ExitCode Run(unsigned jobs) {
    threads_ = ThreadsPerFile(jobs, FilesOf(entries_).size());
    if (!entries_.empty()) progress_.Show(0, entries_.size(), Name(0));
    InOrder(
        entries_.size(), jobs, [&](std::size_t i) { Work(i); }, [&](std::size_t i) { PassOnEntry(i); },
        [&](std::size_t done, std::size_t next) { progress_.Show(done, entries_.size(), Name(next)); });
    return worst_;
  }

 private:
  struct Slot {
    std::unique_ptr<FileJob> job;
    ExitCode code = ExitCode::kOk;
  };

  const std::string& Name(std::size_t i) const {
    return entries_[i].notice() ? entries_[i].name : entries_[i].file;
  }

  void Work(std::size_t i) {
    const RunInput& entry = entries_[i];
    // One file alone speaks straight to the console, with its own progress.
    const std::string& name = entry.notice() ? entry.name : entry.file;
    auto job = std::make_unique<FileJob>(file_index_[i], name, OutputOf(options_, name),
                                         console_, entries_.size() > 1);
    job->threads = threads_;
    if (entry.notice()) {
      Say(entry, options_, console_, job->console.out, job->console.err, job->report_lines);
      slots_[i].code = entry.code;
    } else {
      slots_[i].code = RunFile(*job, options_, planner_, ledger_, unfinished_);
    }
    slots_[i].job = std::move(job);
  }

  void PassOnEntry(std::size_t i) {
    progress_.Erase();
    PassOn(*slots_[i].job, console_);
    if (file_index_[i] != SIZE_MAX) ledger_.PassedOn(file_index_[i]);
    worst_ = Worse(worst_, slots_[i].code);
    slots_[i].job.reset();
    if (i + 1 < entries_.size()) progress_.Show(i + 1, entries_.size(), Name(i + 1));
  }

  const std::vector<RunInput>& entries_;
  const Options& options_;
  const Planner& planner_;
  JobConsole& console_;
  RunLedger& ledger_;
  const std::vector<AlbumJournal>& unfinished_;
  std::vector<Slot> slots_;
  std::vector<std::size_t> file_index_;  // the entry's place among the files; SIZE_MAX for a notice
  BatchProgress progress_;
  unsigned threads_ = 1;  // each file's measuring
  ExitCode worst_ = ExitCode::kOk;
};

}  // namespace

ExitCode RunJob(const Options& options, JobConsole& console) {
  const std::unique_ptr<Planner> planner = PlannerFor(options);
  const std::vector<RunInput> entries = ExpandInputs(options.inputs, options.recursive);
  std::vector<std::string> files = FilesOf(entries);
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
  std::vector<AlbumJournal> unfinished;
  if (planner->writes()) unfinished = UnfinishedAlbumsBeside(files);
  std::vector<std::string> shown = files;
  if (console.err_is_terminal) {
    for (std::string& name : shown) name = TerminalSafe(name);
  }
  RunLedger ledger(std::move(shown));
  RunReport report(options, files.size(), console);
  if (!report.begun()) return ExitCode::kOutput;
  if (!options.album) {
    return report.Finish(EachFileRun(entries, options, *planner, console, ledger, unfinished).Run(jobs));
  }

  ExitCode worst = ExitCode::kOk;
  for (const RunInput& entry : entries) {
    if (!entry.notice()) continue;
    std::string report_lines;
    Say(entry, options, console, console.out, console.err, report_lines);
    if (console.report) console.report->Add(report_lines);
    worst = Worse(worst, entry.code);
  }
  if (!files.empty()) worst = Worse(worst, RunAlbum(files, options, *planner, jobs, console, ledger, std::move(unfinished)));
  return report.Finish(worst);
}

}  // namespace normalize
