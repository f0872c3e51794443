#include "job/group_run.h"

#include <cerrno>
#include <cstring>

#include "job/file_steps.h"
#include "job/limited_result.h"
#include "job/output_dir.h"
#include "platform/capacity.h"

namespace normalize {

GroupRun::GroupRun(const Group& group, const RunContext& run, bool album, JobConsole* to)
    : run_(run),
      options_(run.options),
      album_(album),
      to_(to),
      // On a terminal: an album's files measured, then its files written.
      progress_(run.console.err, album && run.console.show_batch_progress && group.size() > 1),
      // Every track held open (two descriptors each) from measuring to
      // writing keeps it locked; an album too large for that is closed after
      // measuring and each track checked again before it is written.
      keep_open_(!album ||
                 (!run.options.dry_run && group.size() * 2 + run.jobs * 4 + 64 <= platform::OpenFileLimit())) {
  for (const Member& member : group) {
    members_.push_back(
        std::make_unique<FileJob>(member.index, member.file, OutputOf(options_, member.file), run.console, run.several));
    members_.back()->threads = album ? ThreadsPerFile(run.jobs, group.size()) : run.threads_alone;
  }
}

ExitCode GroupRun::Run() {
  std::optional<AlbumJournal> stopped = TakeJournal();
  if (worst_ != ExitCode::kOk) return worst_;
  if (stopped) return Finish(*stopped);
  if (!MeasureAll()) return worst_;
  std::vector<MeasuredFile> measured;
  for (const auto& job : members_) measured.push_back({job->measured, job->layout});
  Decision decision = run_.planner.Decide(measured);
  if (album_) {
    // --limit: the album's gain solved before its line tells it and the journal keeps it.
    const bool limits = decision.plan && decision.plan->limit;
    const double limited_lufs = limits ? LimitAlbum(members_, options_, *decision.plan) : 0;
    if (limits) limited_text_ = AlbumLimitText(members_, *decision.plan, limited_lufs);
    limited_json_ = AlbumLimitJson(decision, members_);
    SayGroupLine(decision, limited_text_, limited_json_);
  }
  if (!decision.writes(WritesElsewhere(options_))) {
    // An album's line said it for every file, but for the JSON lines and the report.
    EachMember([&](FileJob&, Reporter& report, std::size_t) { report.NotWritten(decision, !album_); });
    return Worse(worst_, decision.code);
  }
  // An album's members: its line told of the ceiling.
  const Decision each = album_ ? Decision::Write(*decision.plan) : decision;
  if (options_.dry_run) {
    // What the file as written would be, where a real run measures it first.
    EachMember([&](FileJob& job, Reporter& report, std::size_t member) {
      if (!album_) PlanWithoutWriting(job, options_, *each.plan, member);
      report.WouldWrite(each);
    });
  } else if (!album_) {
    EachMember([&](FileJob& job, Reporter& report, std::size_t) { Write(job, report, each, 0, nullptr); }, true);
  } else if (ReadyToWrite()) {
    WriteAlbum(decision, each);
  }
  return worst_;
}

// Every lock, target check and measurement before anything is written;
// false when a file could not be worked on (the run's code then says why).
bool GroupRun::MeasureAll() {
  if (!LockInOrder()) return false;
  EachMember([&](FileJob& job, Reporter& report, std::size_t) {
    OpenAndMeasure(job, options_, run_.planner, report);
    if (!keep_open_) job.file.reset();
  });
  if (!failed_) return true;
  if (album_) {
    std::string names;
    for (const auto& job : members_) {
      if (job->failed) names += (names.empty() ? "" : ", ") + job->input;
    }
    run_.console.err << "normalize: album: nothing written, since " << names << " could not be worked on\n";
  }
  return false;
}

void GroupRun::Write(FileJob& job, Reporter& report, const Decision& each, std::size_t track, AlbumJournal* journal) {
  const ReplaceSteps steps{[&](const platform::FileIdentity& result) {
                             if (journal) journal->Committing(track, result);
                           },
                           // The gain applied, which the rounding may have moved a little from the plan's.
                           [&] { run_.ledger.Written(job.index, job.written_gain.value_or(each.gain()).db); }};
  const WriteResult result = WriteAndReplace(job, options_, *each.plan, track, report.Progress(), steps);
  job.written = !job.unchanged;
  report.Written(each, result);
  if (journal) journal->Said(track, options_.json, job.out.str());
}

void GroupRun::SayGroupLine(const Decision& decision, const std::string& limited_text,
                            const std::string& limited_json) {
  if (ReportPage* page = run_.console.report) {
    page->Add(page->Line(GroupLine(options_, members_.size(), decision, true, limited_json)));
  }
  errno = 0;
  to_->out << GroupLine(options_, members_.size(), decision, options_.json,
                        options_.json ? limited_json : limited_text)
           << "\n" << std::flush;
  if (!to_->out && to_->stop_run) to_->stop_run(std::string("cannot write the output: ") + std::strerror(errno ? errno : EIO));
}

void GroupRun::EachMember(const Step& step, bool writing) {
  const auto work = [&](std::size_t i) {
    FileJob& job = *members_[i];
    Reporter report(options_, job);
    try {
      step(job, report, i);
    } catch (const Failure& failure) {
      report.Failed(failure);
      job.failed = true;
      job.code = failure.code();
      failed_ = true;
    }
  };
  const auto then = [&](std::size_t i) {
    if (to_) {
      // An album that has begun writing finishes whatever becomes of its output.
      JobConsole to = *to_;
      if (writing && album_ && to.stop_run) {  // an output that leads nowhere is no failure
        to.stop_run = [&](const std::string& why) {
          if (output_error_.empty()) output_error_ = why;
        };
      }
      PassOn(*members_[i], to);
      if (writing) run_.ledger.PassedOn(members_[i]->index);
    }
    if (members_[i]->failed) worst_ = Worse(worst_, members_[i]->code);
  };
  if (members_.size() == 1) {
    work(0);
    return then(0);
  }
  InOrderShown(
      members_.size(), run_.jobs, progress_, [&](std::size_t i) -> const std::string& { return members_[i]->input; },
      work, then);
}

std::string GroupRun::Meaning() const {
  return run_.planner.Meaning() + (options_.dither ? " --dither tpdf" : " --dither none");
}

}  // namespace normalize
