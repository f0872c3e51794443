#pragma once
// One file's work in a run: its names, what was opened and measured, and the
// lines it says, held until they are passed on in the order named. The parsed
// command line stays as the user gave it; everything that differs from file to
// file is here.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "job/job.h"
#include "job/planner.h"
#include "platform/file_identity.h"
#include "samples/limited_gain.h"
#include "wav/input_file.h"
#include "wav/wav_format.h"

namespace normalize {

// The threads each of `files` files may measure on when `jobs` work at once.
inline unsigned ThreadsPerFile(unsigned jobs, std::size_t files) {
  const std::size_t in_flight = std::max<std::size_t>(1, std::min<std::size_t>(jobs, files));
  return std::max(1u, static_cast<unsigned>(jobs / in_flight));
}

struct FileJob {
  // `own_lines`: held in the job until passed on (several files at once);
  // otherwise straight to `console`, with the file's own progress.
  FileJob(std::size_t index, std::string input, const std::optional<std::string>& output, const JobConsole& console,
          bool own_lines)
      : index(index),
        input(std::move(input)),
        output(output.value_or(this->input)),
        console(own_lines ? JobConsole{out, err, false, console.write_hook, console.map_input}
                          : JobConsole{console.out, console.err, console.show_progress, console.write_hook,
                                       console.map_input}) {
    this->console.before_replace = console.before_replace;
    this->console.out_is_terminal = console.out_is_terminal;
    this->console.err_is_terminal = console.err_is_terminal;
    this->console.report = console.report;
  }
  FileJob(const FileJob&) = delete;
  FileJob& operator=(const FileJob&) = delete;

  std::size_t index;
  std::string input;   // as named, or as found in a folder
  std::string output;  // where the result goes, as the user named it (the input, or -o's file)
  std::string target;  // `output` where its links lead; empty when nothing is written
  std::unique_ptr<InputFile> file;  // open (and locked) from measuring until written
  platform::FileIdentity identity;  // the input as it was measured
  WavLayout layout;
  Measured measured;
  unsigned threads = 1;  // what measuring the file may use: the jobs the files in flight leave it
  // The file as written, where it was measured before writing (a loudness
  // target on coarse steps, bext fields to refresh), and the gain applied
  // where the rounding made it differ from the decision's.
  std::optional<LoudnessFigures> written_figures;
  std::optional<GainPlan> written_gain;
  std::optional<LimiterReport> limiting;  // what --limit's limiter did, where it ran
  std::ostringstream out;
  std::ostringstream err;
  std::string report_lines;  // --report's record of the file, passed on with its lines
  JobConsole console;
  ExitCode code = ExitCode::kOk;
  bool failed = false;
  bool written = false;
  bool result_was_there = false;  // --output-dir: the same result was at the target already
  // The result changed no sample (nor a bext field): the file was left as it was.
  bool unchanged = false;
};

}  // namespace normalize
