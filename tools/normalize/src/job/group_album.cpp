// What only an album does on the group's road: its journal found, taken or
// refused; its members locked in one order; every folder made ready for the
// results before the first is written; the journal kept while it is written;
// and a rerun finishing one that was stopped part way.
#include <algorithm>

#include "job/decibels.h"
#include "job/file_steps.h"
#include "job/group_run.h"
#include "job/journal_call.h"
#include "job/write_room.h"

namespace normalize {
namespace {

std::string Command(const Options& options) {
  std::string command = "normalize";
  for (const std::string& argument : options.arguments) command += " " + argument;
  return command;
}

}  // namespace

void GroupRun::Refuse(const std::string& why) {
  if (!album_) return EachMember([&](FileJob&, Reporter&, std::size_t) { throw Failure(ExitCode::kBusy, why); });
  run_.console.err << "normalize: album: " << why << "\n";
  worst_ = ExitCode::kBusy;
}

std::optional<AlbumJournal> GroupRun::TakeJournal() {
  if (!run_.planner.writes()) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& job : members_) names.push_back(job->input);
  const JournalCall call = CallOnJournals(run_.journals, names, album_, Meaning());
  if (call.refused) Refuse(*call.refused);
  if (!call.finish) return std::nullopt;
  return std::move(*call.finish);
}

// Of two runs of one album started together, the one that locks the first
// track in this order goes ahead; the other is refused at once, having
// measured nothing.
bool GroupRun::LockInOrder() {
  if (!album_ || !keep_open_ || options_.dry_run) return true;
  std::vector<std::pair<std::string, FileJob*>> order;
  for (const auto& job : members_) {
    const auto identity = platform::IdentityOf(job->input);
    order.emplace_back(identity ? identity->file : job->input, job.get());
  }
  std::sort(order.begin(), order.end());
  for (const auto& [key, job] : order) {
    try {
      OpenLocked(*job, options_);
    } catch (const Failure& failure) {
      if (failure.code() != ExitCode::kBusy) continue;  // measuring says why
      run_.console.err << "normalize: album: nothing written: " << job->input << ": " << failure.what() << "\n";
      worst_ = ExitCode::kBusy;
      return false;
    }
  }
  return true;
}

// Every folder made ready and the room found before the first result is written.
bool GroupRun::ReadyToWrite() {
  std::vector<PlannedResult> results;
  for (const auto& job : members_) results.push_back({job->target, job->identity.size});
  const auto why = WhyResultsCannotBeWritten(results, options_.output_dir && !options_.output, run_.jobs);
  if (!why) return true;
  run_.console.err << "normalize: album: nothing written: " << *why << "\n";
  worst_ = ExitCode::kOutput;
  return false;
}

// A member that cannot be written stops those not yet begun; those in flight
// finish, so that each ends written whole or untouched, and the journal lets a
// rerun finish the album.
void GroupRun::WriteAlbum(const Decision& album, const Decision& each) {
  std::vector<AlbumJournal::Track> tracks;
  for (const auto& job : members_) tracks.push_back({job->input, job->identity, std::nullopt, std::nullopt, false});
  const std::string path = AlbumJournal::PathFor(tracks);
  std::optional<AlbumJournal> journal;
  try {
    journal = AlbumJournal::Begin(path, {Command(options_), Meaning(), album, limited_text_, limited_json_},
                                   std::move(tracks));
  } catch (const Failure& failure) {
    run_.console.err << "normalize: album: nothing written: " << failure.what() << "\n";
    worst_ = Worse(worst_, failure.code());
    return;
  }
  const std::string rerun = "the album is unfinished: run the same command again to finish it with the same gain "
                            "(journal '" + path + "')";
  run_.ledger.SetClosingNote(rerun);
  EachMember([&](FileJob& job, Reporter& report, std::size_t member) {
    if (!failed_) Write(job, report, each, member, &*journal);
  }, true);
  if (!failed_) {
    journal->Finish();
    run_.ledger.SetClosingNote("");
    return EndOutput();
  }
  std::string written, left;
  for (const auto& job : members_) {
    std::string& names = job->written ? written : left;
    names += (names.empty() ? "" : ", ") + job->input;
  }
  run_.console.err << "normalize: album: written with gain " << Decibels(each.gain().db, true) << " dB: "
                   << (written.empty() ? "none" : written) << "; left as they were: " << (left.empty() ? "none" : left)
                   << "; " << rerun << "\n";
  EndOutput();
}

// A rerun of an album that was stopped part way: the tracks not yet written
// are measured and written as the first run planned them, with its line;
// those written keep theirs.
ExitCode GroupRun::Finish(AlbumJournal& journal) {
  const Decision& album = journal.album().decision;
  const Decision each = Decision::Write(*album.plan);
  run_.console.err << "normalize: album: finishing the album that was stopped part way (journal '" << journal.path()
                   << "') with the plan of its first run\n";
  SayGroupLine(album, journal.album().limited_text, journal.album().limited_json);
  run_.ledger.SetClosingNote("the album is still unfinished: run the same command again to finish it (journal '" +
                             journal.path() + "')");
  EachMember([&](FileJob& job, Reporter& report, std::size_t) {
    if (failed_) return;
    const auto now = platform::IdentityOf(job.input);
    const std::size_t track = *journal.TrackOf(job.input, now);
    if (journal.IsResult(track, now)) {
      report.NotWritten(Decision::LeaveAlone(
          ExitCode::kOk, "already written with the album's gain by the run that was stopped; left as it is"));
      // Said as the run that wrote it said it, where it got that far.
      const AlbumJournal::Track& written = journal.tracks()[track];
      if (written.said && written.said_json == options_.json) job.out.str(*written.said);
      return;
    }
    const std::string changed = "changed since the album that was stopped part way measured it; left as it is (" +
                                std::string(kGiveUpJournal) + ")";
    if (!now || *now != journal.tracks()[track].measured) throw Failure(ExitCode::kInput, changed);
    OpenAndMeasure(job, options_, run_.planner, report);
    if (job.identity != journal.tracks()[track].measured) throw Failure(ExitCode::kInput, changed);
    if (options_.dry_run) return report.WouldWrite(each);
    Write(job, report, each, track, &journal);
  }, true);
  if (!failed_ && !options_.dry_run) {
    journal.Finish();
    run_.ledger.SetClosingNote("");
  }
  EndOutput();
  return worst_;
}

void GroupRun::EndOutput() {
  if (output_error_.empty()) return;
  worst_ = Worse(worst_, ExitCode::kOutput);
  if (to_ && to_->stop_run) return to_->stop_run(output_error_);
  run_.console.err << "normalize: " << output_error_ << "\n";
}

}  // namespace normalize
