#pragma once
// --album: every file of the run is one album and gets one gain, so that the
// quiet tracks stay quieter than the loud ones. Nothing is half done: every
// file is locked, its target checked and its audio measured before the first
// is written.
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "failure.h"
#include "job/job.h"
#include "job/planner.h"

namespace normalize {

// `files`: the album's tracks, each named once; measured as `planner` asks
// and written on up to `jobs` threads, their lines in this order.
ExitCode RunAlbum(const Options& options, const Planner& planner, const std::vector<std::string>& files,
                  unsigned jobs, JobConsole& console);

}  // namespace normalize
