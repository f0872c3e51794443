#include "job/album.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <optional>

#include "job/analysis_line.h"
#include "job/limited_result.h"
#include "job/batch.h"
#include "job/decibels.h"
#include "job/file_job.h"
#include "job/file_steps.h"
#include "job/output_dir.h"
#include "job/reporter.h"
#include "job/result_json.h"
#include "platform/capacity.h"
#include "platform/paths.h"

namespace normalize {
namespace {

using Jobs = std::vector<std::unique_ptr<FileJob>>;

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of(platform::kPathSeparators);
  return cut == std::string::npos ? "." : path.substr(0, cut + 1);
}

std::string Names(const Jobs& jobs, bool written) {
  std::string names;
  for (const auto& job : jobs) {
    if (job->written == written) names += (names.empty() ? "" : ", ") + job->input;
  }
  return names.empty() ? "none" : names;
}

std::string Mebibytes(std::uint64_t bytes) { return Fixed(static_cast<double>(bytes) / (1 << 20), 1) + " MiB"; }

// The album's line as one JSON object, beside the files' own.
std::string AlbumJson(std::size_t files, const Decision& decision, bool dry_run, const std::string& limited = "") {
  std::string json = "{\"album\":true,\"files\":" + std::to_string(files);
  json += ",\"gain_db\":" + (decision.plan ? Fixed(decision.gain().db, 3) : std::string("null"));
  if (dry_run) json += ",\"dry_run\":true";
  if (decision.ceiling) json += ",\"held_by_ceiling\":true";
  json += limited;
  if (!decision.why.empty()) json += ",\"reason\":" + JsonString(decision.why);
  return json + "}";
}

// The album's files measured together, then written with one gain.
class AlbumRun {
 public:
  AlbumRun(const std::vector<std::string>& files, const Options& options, const Planner& planner, unsigned jobs,
           JobConsole& console, RunLedger& ledger)
      : options_(options),
        planner_(planner),
        jobs_(jobs),
        console_(console),
        ledger_(ledger),
        // On a terminal: the files measured, then the files written, of all.
        progress_(console.err, console.show_batch_progress && files.size() > 1),
        // Every track held open (two descriptors each) from measuring to
        // writing keeps it locked; an album too large for that is closed after
        // measuring and each track checked again before it is written.
        keep_open_(!options.dry_run && files.size() * 2 + jobs * 4 + 64 <= platform::OpenFileLimit()) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      files_.push_back(std::make_unique<FileJob>(i, files[i], OutputOf(options, files[i]), console, true));
      files_.back()->threads = ThreadsPerFile(jobs, files.size());
    }
  }

  ExitCode Run(std::vector<AlbumJournal> unfinished) {
    std::optional<AlbumJournal> stopped = StoppedPartWay(unfinished);
    if (worst_ != ExitCode::kOk) return worst_;
    if (stopped) return Finish(*stopped);
    if (!MeasureAll()) return worst_;
    const std::optional<WritePlan> plan = Decide();
    if (!plan || options_.dry_run || !RoomForResults()) return worst_;
    std::vector<AlbumJournal::Track> tracks;
    for (const auto& job : files_) tracks.push_back({job->input, job->identity, ""});
    try {
      const std::string path = AlbumJournal::PathFor(tracks);
      AlbumJournal journal = AlbumJournal::Begin(path, *plan, std::move(tracks));
      WriteAll(journal);
    } catch (const Failure& failure) {
      console_.err << "normalize: album: nothing written: " << failure.what() << "\n";
      worst_ = Worse(worst_, failure.code());
    }
    return worst_;
  }

 private:
  // The journal of this same album stopped part way, if there is one; another
  // album's that holds one of these files stops the run.
  std::optional<AlbumJournal> StoppedPartWay(std::vector<AlbumJournal>& unfinished) {
    std::optional<AlbumJournal> same;
    for (AlbumJournal& journal : unfinished) {
      std::vector<bool> covered(journal.tracks().size(), false);
      std::size_t matched = 0;
      for (const auto& job : files_) {
        const auto track = journal.TrackOf(job->input, platform::IdentityOf(job->input));
        if (track && !covered[*track]) {
          covered[*track] = true;
          ++matched;
        }
      }
      if (matched == 0) continue;
      if (matched == files_.size() && matched == journal.tracks().size() && !same) {
        same = std::move(journal);
        continue;
      }
      console_.err << "normalize: album: nothing written: it shares tracks with an album that was stopped part way "
                   << "(journal '" << journal.path() << "'); run that album's command again to finish it, or "
                   << "remove the journal to give it up\n";
      worst_ = ExitCode::kBusy;
      return std::nullopt;
    }
    return same;
  }

  // Every lock, target check and measurement before anything is written;
  // false when a file could not be worked on (the run's code then says why).
  bool MeasureAll() {
    EachInOrder([&](FileJob& job, Reporter& report) {
      OpenAndMeasure(job, options_, planner_, report);
      if (!keep_open_) job.file.reset();
    });
    std::string unmeasured;
    for (const auto& job : files_) {
      if (job->failed) unmeasured += (unmeasured.empty() ? "" : ", ") + job->input;
    }
    if (unmeasured.empty()) return true;
    console_.err << "normalize: album: nothing written, since " << unmeasured << " could not be worked on\n";
    return false;
  }

  // The album's plan and its line; nothing when no file is to be written.
  std::optional<WritePlan> Decide() {
    std::vector<MeasuredFile> measured;
    for (const auto& job : files_) measured.push_back({job->measured, job->layout});
    Decision album = planner_.Decide(measured);
    // --limit: the gain solved before the line tells it and the journal keeps it.
    const auto limited_lufs = album.plan && album.plan->limit ? LimitAlbum(files_, options_, *album.plan) : 0;
    if (console_.report) console_.report->Add(console_.report->Line(AlbumJson(files_.size(), album, options_.dry_run, AlbumLimitJson(album, files_))));
    if (options_.json) {
      console_.out << AlbumJson(files_.size(), album, options_.dry_run, AlbumLimitJson(album, files_)) << "\n";
    } else if (!album.writes(WritesElsewhere(options_))) {
      console_.out << "album: " << (album.figures.empty() ? "" : album.figures + ", ") << album.why << "\n";
    } else {
      console_.out << "album: " << files_.size() << (files_.size() == 1 ? " file, " : " files, ") << album.figures
                   << ", gain " << Decibels(album.gain().db, true) << " dB for every file"
                   << (album.ceiling ? CeilingText(*album.ceiling) : "")
                   << (album.plan->limit ? AlbumLimitText(files_, *album.plan, limited_lufs) : "")
                   << (options_.dry_run ? "; dry run, nothing written" : "") << "\n";
    }
    console_.out << std::flush;
    if (!album.writes(WritesElsewhere(options_))) {
      worst_ = album.code;
      if (options_.json || console_.report) {
        EachLine([&](FileJob&, Reporter& report) { report.NotWritten(album, false); });
      }
      return std::nullopt;
    }
    if (options_.dry_run) {
      const Decision each = Decision::Write(*album.plan);  // the album's line told of the ceiling
      EachLine([&](FileJob&, Reporter& report) { report.WouldWrite(each); });
      return std::nullopt;
    }
    return album.plan;
  }

  // Room on every disk for the results being written at once.
  bool RoomForResults() {
    struct Need {
      std::uint64_t largest = 0;
      std::uint64_t files = 0;
    };
    std::map<std::string, Need> needs;
    for (const auto& job : files_) {
      Need& need = needs[FolderOf(job->target)];
      need.largest = std::max(need.largest, job->identity.size + (64 << 10));
      ++need.files;
    }
    for (const auto& [folder, need] : needs) {
      const std::uint64_t wanted = need.largest * std::min<std::uint64_t>(jobs_, need.files) + (1 << 20);
      const std::optional<std::uint64_t> free = platform::FreeBytes(folder);
      if (!free || *free >= wanted) continue;
      console_.err << "normalize: album: nothing written: the disk of '" << folder << "' has " << Mebibytes(*free)
                   << " free, and writing the album needs up to " << Mebibytes(wanted) << " at once\n";
      worst_ = ExitCode::kOutput;
      return false;
    }
    return true;
  }

  // A file that cannot be written stops the files not yet begun; those in
  // flight finish, so that each file ends written whole or untouched. The
  // journal then lets a rerun finish the album.
  void WriteAll(AlbumJournal& journal) {
    const std::string rerun = "the album is unfinished: run the same command again to finish it with the same gain "
                              "(journal '" + journal.path() + "')";
    ledger_.SetClosingNote(rerun);
    EachInOrder([&](FileJob& job, Reporter& report) {
      if (failed_) return;
      WriteTrack(job, report, journal, job.index);
    }, true);
    if (!failed_) {
      journal.Finish();
      ledger_.SetClosingNote("");
      return;
    }
    console_.err << "normalize: album: written with gain " << Decibels(journal.plan().gain.db, true)
                 << " dB: " << Names(files_, true) << "; left as they were: " << Names(files_, false) << "; "
                 << rerun << "\n";
  }

  void WriteTrack(FileJob& job, Reporter& report, AlbumJournal& journal, std::size_t track) {
    const WritePlan& plan = journal.plan();
    const ReplaceSteps steps{[&](const std::string& result) { journal.Committing(track, result); },
                             [&] { ledger_.Written(job.index, plan.gain.db); }};
    const Decision decision = Decision::Write(plan);
    const WriteResult result = WriteAndReplace(job, options_, plan, track, {}, steps);
    job.written = !job.unchanged;
    report.Written(decision, result);  // the album's line told of the ceiling
  }

  // A rerun of an album that was stopped part way: the tracks not yet
  // written get the gain the first run chose; those written keep theirs.
  ExitCode Finish(AlbumJournal& journal) {
    std::vector<std::size_t> track_of;
    for (const auto& job : files_) track_of.push_back(*journal.TrackOf(job->input, platform::IdentityOf(job->input)));
    console_.out << "album: finishing the album that was stopped part way (journal '" << journal.path() << "'): "
                 << files_.size() << " files, gain " << Decibels(journal.plan().gain.db, true) << " dB for every file"
                 << (options_.dry_run ? "; dry run, nothing written" : "") << "\n";
    ledger_.SetClosingNote("the album is still unfinished: run the same command again to finish it (journal '" +
                           journal.path() + "')");
    EachInOrder([&](FileJob& job, Reporter& report) {
      if (failed_) return;
      const AlbumJournal::Track& track = journal.tracks()[track_of[job.index]];
      const std::optional<platform::FileIdentity> now = platform::IdentityOf(job.input);
      if (now && !track.result.empty() && now->file == track.result) {
        Decision done = Decision::LeaveAlone(ExitCode::kOk, "already written with the album's gain by the run that "
                                                            "was stopped; left as it is");
        report.NotWritten(done);
        return;
      }
      if (!now || *now != track.measured) {
        throw Failure(ExitCode::kInput, "changed since the album that was stopped part way measured it; left as it "
                                        "is (remove the journal to give the album up)");
      }
      job.identity = track.measured;
      if (options_.dry_run) {
        report.WouldWrite(Decision::Write(journal.plan()));
        return;
      }
      Reopen(job, options_);
      WriteTrack(job, report, journal, track_of[job.index]);
    }, true);
    if (!failed_ && !options_.dry_run) {
      journal.Finish();
      ledger_.SetClosingNote("");
    }
    return worst_;
  }

  // step(job, report) on every file through InOrder, each file's text passed
  // on in the album's order; a step's failure is the file's, and is noted at
  // once so that steps not yet begun can see it. `naming`: the lines passed
  // on name each file's result.
  template <typename Step>
  void EachInOrder(const Step& step, bool naming = false) {
    progress_.Show(0, files_.size(), files_.front()->input);
    InOrder(
        files_.size(), jobs_,
        [&](std::size_t i) {
          FileJob& job = *files_[i];
          Reporter report(options_, job);
          try {
            step(job, report);
          } catch (const Failure& failure) {
            report.Failed(failure);
            job.failed = true;
            job.code = failure.code();
            failed_ = true;
          }
        },
        [&](std::size_t i) {
          progress_.Erase();
          PassOn(*files_[i], console_);
          if (naming) ledger_.PassedOn(i);
          if (files_[i]->failed) worst_ = Worse(worst_, files_[i]->code);
        },
        [&](std::size_t done, std::size_t next) { progress_.Show(done, files_.size(), files_[next]->input); });
    progress_.Erase();
  }

  // A line of each file's, in order, on this thread.
  template <typename Say>
  void EachLine(const Say& say) {
    for (const auto& job : files_) {
      Reporter report(options_, *job);
      say(*job, report);
      PassOn(*job, console_);
    }
  }

  const Options& options_;
  const Planner& planner_;
  unsigned jobs_;
  JobConsole& console_;
  RunLedger& ledger_;
  BatchProgress progress_;
  bool keep_open_;
  Jobs files_;
  ExitCode worst_ = ExitCode::kOk;
  std::atomic<bool> failed_{false};  // a file could not be worked on
};

}  // namespace

ExitCode RunAlbum(const std::vector<std::string>& files, const Options& options, const Planner& planner, unsigned jobs,
                  JobConsole& console, RunLedger& ledger, std::vector<AlbumJournal> unfinished) {
  return AlbumRun(files, options, planner, jobs, console, ledger).Run(std::move(unfinished));
}

}  // namespace normalize
