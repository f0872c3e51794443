#pragma once
// --album: every file of the run is one album and gets one gain, so that the
// quiet tracks stay quieter than the loud ones. The same road as a file on
// its own, with one plan over all the files' measurements. Nothing is half
// done: every target is checked, every file measured and the room for the
// results found before the first is written, and a journal beside the album
// lets a rerun of the same command finish one that was stopped part way.
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "failure.h"
#include "job/album_journal.h"
#include "job/job.h"
#include "job/planner.h"
#include "job/run_ledger.h"

namespace normalize {

// `files`: the album's tracks, each named once, measured and written on up to
// `jobs` threads, their lines in this order. `unfinished`: the journals of
// albums stopped part way beside them.
ExitCode RunAlbum(const std::vector<std::string>& files, const Options& options, const Planner& planner, unsigned jobs,
                  JobConsole& console, RunLedger& ledger, std::vector<AlbumJournal> unfinished);

}  // namespace normalize
