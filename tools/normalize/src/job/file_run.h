#pragma once
// A file on its own: measured, planned, then written, or left as it is with
// the reason, or (a dry run) said what a real run would do.
#include <vector>

#include "cli/command_line.h"
#include "failure.h"
#include "job/album_journal.h"
#include "job/file_job.h"
#include "job/planner.h"
#include "job/run_ledger.h"

namespace normalize {

// The file's exit code; what it has to say is in its console.
ExitCode RunFile(FileJob& job, const Options& options, const Planner& planner, RunLedger& ledger,
                 const std::vector<AlbumJournal>& unfinished);

}  // namespace normalize
