#include "job/journal_call.h"

#include <algorithm>

#include "failure.h"
#include "job/group.h"
#include "platform/file_identity.h"
#include "wav/input_file.h"

namespace normalize {
namespace {

// An album is in progress while its run holds its tracks locked.
bool InProgress(const AlbumJournal& journal) {
  for (const AlbumJournal::Track& track : journal.tracks()) {
    try {
      InputFile(track.name, false, true);
    } catch (const Failure& failure) {
      if (failure.code() == ExitCode::kBusy) return true;
    }
  }
  return false;
}

}  // namespace

JournalCall CallOnJournals(std::vector<AlbumJournal>& journals, const std::vector<std::string>& members, bool album,
                           const std::string& meaning) {
  for (AlbumJournal& journal : journals) {
    if (journal.state() == AlbumJournal::State::kUnreadable) {
      const std::string folder = FolderKey(journal.path());
      if (std::none_of(members.begin(), members.end(), [&](const std::string& file) { return FolderKey(file) == folder; })) {
        continue;
      }
      return {nullptr, "nothing written: the album journal '" + journal.path() + "' beside it cannot be read (" +
                           journal.unreadable_because() + "); it may belong to an album that was stopped part way, so "
                           "nothing beside it is written until it is removed (remove it only if no album there is "
                           "unfinished)"};
    }
    std::vector<bool> covered(journal.tracks().size(), false);
    std::size_t matched = 0;
    for (const std::string& file : members) {
      const auto track = journal.TrackOf(file, platform::IdentityOf(file));
      if (track && !covered[*track]) {
        covered[*track] = true;
        ++matched;
      }
    }
    if (matched == 0) continue;
    const std::string named = "(journal '" + journal.path() + "', begun by '" + journal.album().command + "')";
    if (InProgress(journal)) {
      return {nullptr, std::string(album ? "nothing written: it shares tracks with" : "a track of") +
                           " an album in progress: another normalize run is writing it now " + named +
                           "; nothing written"};
    }
    const bool same = album && matched == members.size() && matched == journal.tracks().size();
    if (same && journal.album().meaning == meaning) return {&journal, std::nullopt};
    return {nullptr, std::string(same ? "nothing written: this album was stopped part way by a command that means "
                                        "another gain "
                                 : album ? "nothing written: it shares tracks with an album that was stopped part way "
                                         : "a track of an album that was stopped part way ") +
                         named + "; run that command again to finish it, " + kGiveUpJournal};
  }
  return {};
}

}  // namespace normalize
