#pragma once
// One run of the tool on parsed options, over every file they name: measure,
// plan the gain (each file on its own, or all of them as an album), write the
// results, and tell the user what happened.
#include <functional>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "failure.h"
#include "output/atomic_output.h"
#include "report/report_page.h"

namespace normalize {

struct JobConsole {
  std::ostream& out;       // summary and messages
  std::ostream& err;       // warnings and errors
  bool show_progress = false;        // a file's own progress (one file only)
  WriteHook write_hook{};  // test seam, passed to the output file
  bool map_input = true;   // test seam: false takes the path of systems that cannot map
  bool show_batch_progress = false;  // files done of several: the error stream is a terminal
  // Names shown on a terminal have their control characters escaped.
  bool out_is_terminal = false;
  bool err_is_terminal = false;
  // Test seam: runs with the input's name just before its result replaces it.
  std::function<void(const std::string& input)> before_replace{};
  // Ends the run at once, as an interruption does, when its output cannot be
  // written (a full disk, a closed pipe); unset, the run carries on.
  std::function<void(const std::string& why)> stop_run{};
  // --report: each file's record goes here as its lines are passed on.
  ReportPage* report = nullptr;
};

// Returns the exit code; messages go to the console. Throws only what it does
// not know how to report (e.g. std::bad_alloc).
ExitCode RunJob(const Options& options, JobConsole& console);

}  // namespace normalize
