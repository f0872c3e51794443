#pragma once
// --report over a whole run: the page begun once the files are known, reached
// by every file's console, and put in place when the run ends, however it
// went (a page of failures is a report too).
#include <cstddef>
#include <optional>

#include "cli/command_line.h"
#include "job/job.h"
#include "job/planner.h"
#include "report/report_page.h"

namespace normalize {

class RunReport {
 public:
  // Without --report, does nothing. Says on the error stream when the page
  // cannot be begun (then begun() is false).
  RunReport(const Options& options, const Planner& planner, std::size_t files, JobConsole& console);
  ~RunReport();
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  bool begun() const { return begun_; }
  // The run's exit code, made worse when the page cannot be put in place.
  ExitCode Finish(ExitCode code);

 private:
  JobConsole& console_;
  std::optional<ReportPage> page_;
  bool begun_ = true;
};

}  // namespace normalize
