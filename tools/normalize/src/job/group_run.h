#pragma once
// One group of a run, a file alone or an album, on one road: the journals of
// albums stopped part way checked, the members measured, one plan for them
// all, the group's line, the members written, the group closed. A file alone
// is a group of one. An album is all or nothing: every member is locked,
// checked and measured, and the room for the results found, before the
// first is written, and a journal beside it lets a rerun of the same command
// finish one that was stopped part way (group_album.cpp).
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "failure.h"
#include "job/album_journal.h"
#include "job/batch.h"
#include "job/file_job.h"
#include "job/group.h"
#include "job/job.h"
#include "job/planner.h"
#include "job/reporter.h"
#include "job/run_ledger.h"

namespace normalize {

// What every group of a run shares.
struct RunContext {
  const Options& options;
  const Planner& planner;
  JobConsole& console;  // the run's
  RunLedger& ledger;
  // The journals of albums stopped part way beside the run's files; the
  // album that is one of them takes it.
  std::vector<AlbumJournal>& journals;
  unsigned jobs;
  unsigned threads_alone;  // what a file alone measures on, beside the others in flight
  bool several;            // the run names more than one file: each file's lines are held until passed on
};

class GroupRun {
 public:
  // `album`: the members share one gain, all or nothing. The members' lines
  // go to `to` as they are done (the run's console); without it (a file
  // alone among others in flight) they stay in the members.
  GroupRun(const Group& group, const RunContext& run, bool album, JobConsole* to);
  // The group's exit code.
  ExitCode Run();
  std::vector<std::unique_ptr<FileJob>>& members() { return members_; }

 private:
  using Step = std::function<void(FileJob& job, Reporter& report, std::size_t member)>;

  bool MeasureAll();
  void Write(FileJob& job, Reporter& report, const Decision& each, std::size_t track, AlbumJournal* journal);
  void SayGroupLine(const Decision& decision, const std::string& limited_text = "",
                    const std::string& limited_json = "");
  // step on every member, up to -j at once, each member's lines passed on in
  // order; a step's failure is the member's, and is noted at once so that
  // steps not yet begun can see it. `writing`: the lines name each member's
  // result, and output that cannot be written no longer stops the group.
  void EachMember(const Step& step, bool writing = false);
  std::string Meaning() const;

  // An album's own (group_album.cpp).
  std::optional<AlbumJournal> TakeJournal();
  void Refuse(const std::string& why);
  bool LockInOrder();
  bool ReadyToWrite();
  void WriteAlbum(const Decision& album, const Decision& each);
  ExitCode Finish(AlbumJournal& journal);
  // What could not be passed on while the album was written, said once it is whole.
  void EndOutput();

  const RunContext& run_;
  const Options& options_;
  bool album_;
  JobConsole* to_;  // nothing: the lines stay in the members
  BatchProgress progress_;
  bool keep_open_;
  std::vector<std::unique_ptr<FileJob>> members_;
  ExitCode worst_ = ExitCode::kOk;
  std::atomic<bool> failed_{false};  // a member could not be worked on
  std::string output_error_;         // why the output could not be written while the album was
  std::string limited_text_, limited_json_;  // what an album's line said of its limiting
};

}  // namespace normalize
