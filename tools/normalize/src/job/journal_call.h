#pragma once
// What a group does about the journals of albums stopped part way that lie
// beside its files: none concerns it; it is the album of one of them (the same
// tracks, a command that means the same) and finishes it; or nothing of it is
// written, and the run says why.
#include <optional>
#include <string>
#include <vector>

#include "job/album_journal.h"

namespace normalize {

struct JournalCall {
  AlbumJournal* finish = nullptr;      // the journal whose album the group finishes
  std::optional<std::string> refused;  // why nothing of the group is written
};

// `members`: the group's files; `album`: whether they share one gain;
// `meaning`: what the run's gain means (GroupRun::Meaning).
JournalCall CallOnJournals(std::vector<AlbumJournal>& journals, const std::vector<std::string>& members, bool album,
                           const std::string& meaning);

// How a refusal ends: the journal may be given up.
inline constexpr char kGiveUpJournal[] = "or remove the journal to give the album up";

}  // namespace normalize
