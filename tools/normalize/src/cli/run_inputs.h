#pragma once
// What the inputs on the command line stand for: the files to work on, and
// what is to be said about the rest, in the order the inputs were named.
#include <string>
#include <vector>

#include "failure.h"

namespace normalize {

struct RunInput {
  std::string file;     // the file to work on; empty for a notice
  // A notice:
  std::string name;     // what it is about: an input, a folder in one, a file
  std::string reason;   // for a JSON failure line; empty for a warning that has none
  std::string message;  // its line for the error stream, without the newline
  ExitCode code = ExitCode::kOk;  // what it makes of the run's exit code

  bool notice() const { return file.empty(); }
};

// Folders stand for their WAV files (with `recursive`, their subfolders'
// too) and patterns for what they match. A file named twice (again, through
// a link, or by a pattern or folder too) is worked on once, the second time
// a warning. A folder with no WAV file, a pattern that matches nothing, a
// folder that cannot be listed and a name too long for the system are
// notices with a failure code: the run has not done all it was asked.
std::vector<RunInput> ExpandInputs(const std::vector<std::string>& inputs, bool recursive);

}  // namespace normalize
