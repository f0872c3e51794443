#pragma once
// One run of the tool on parsed options, over each file they name: read the
// layout, measure, plan the gain, write the result, and tell the user what
// happened.
#include <ostream>

#include "cli/command_line.h"
#include "failure.h"
#include "output/atomic_output.h"

namespace normalize {

struct JobConsole {
  std::ostream& out;       // summary and messages
  std::ostream& err;       // warnings and errors
  bool show_progress = false;        // a file's own progress (one file only)
  WriteHook write_hook{};  // test seam, passed to the output file
  bool map_input = true;   // test seam: false takes the path of systems that cannot map
  bool show_batch_progress = false;  // files done of several: the error stream is a terminal
};

// Returns the exit code; messages go to the console. Throws only what it does
// not know how to report (e.g. std::bad_alloc).
ExitCode RunJob(const Options& options, JobConsole& console);

}  // namespace normalize
