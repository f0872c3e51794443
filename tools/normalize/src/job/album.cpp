#include "job/album.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <sstream>

#include "job/batch.h"
#include "job/decibels.h"
#include "job/file_steps.h"
#include "job/reporter.h"
#include "loudness/loudness_meter.h"
#include "loudness/loudness_plan.h"

namespace normalize {
namespace {

// One file of the album, with a console of its own whose text is passed on
// in the album's order.
struct Track {
  Track(const Options& album_options, const std::string& file, const JobConsole& album_console)
      : options(album_options), console{out, err, false, album_console.write_hook, album_console.map_input} {
    options.input = file;
  }
  Options options;
  std::ostringstream out;
  std::ostringstream err;
  JobConsole console;
  Reporter report{options, console};
  OpenedFile opened;
  std::optional<Failure> failure;
  bool written = false;
};
using Tracks = std::vector<std::unique_ptr<Track>>;

struct AlbumDecision {
  Decision decision;
  std::string figures;  // the album's own, for its line
};

// The album's loudness gates the 400 ms blocks of all its files together
// (none spans two files); the one gain that brings it to the target is held
// below the ceiling by every file's peak.
AlbumDecision LoudnessDecision(const Options& options, const Tracks& tracks) {
  std::vector<double> blocks;
  std::vector<CeilingPeak> peaks;
  LoudnessFigures album;
  for (const auto& track : tracks) {
    const LoudnessFigures& figures = *track->opened.measured.loudness;
    blocks.insert(blocks.end(), figures.block_powers.begin(), figures.block_powers.end());
    peaks.push_back(CeilingPeak{figures.ceiling_peak, track->opened.layout.format});
    album.true_peak = std::max(album.true_peak, figures.true_peak);
  }
  album.integrated_lufs = GatedLoudness(blocks, 0);
  const auto gain = LoudnessGainFor(options.loudness_lufs, options.true_peak_dbtp, blocks, peaks);
  if (!gain) {
    return {Decision::LeaveAlone(ExitCode::kBelowGate, "silent or below the -70 LUFS gate; nothing to normalize, "
                                                       "nothing written"),
            ""};
  }
  AlbumDecision album_decision{Decision::Write(gain->plan), LoudnessText(album)};
  if (gain->held_by_ceiling) {
    album_decision.decision.ceiling =
        CeilingHold{*options.true_peak_dbtp, options.loudness_lufs, gain->wanted_db, gain->result_lufs};
  }
  return album_decision;
}

// The one gain that brings the album's loudest sample to the percentage.
AlbumDecision PeakDecision(const Options& options, const Tracks& tracks) {
  std::optional<GainPlan> lowest;
  Peak loudest;
  for (const auto& track : tracks) {
    const Peak peak = ToPeak(*track->opened.measured.peak, track->opened.layout.format);
    if (peak.magnitude() > loudest.magnitude()) loudest = peak;
    if (TooQuietToRaise(peak)) continue;
    const auto gain = PercentGain(options.value, peak, track->opened.layout.format);
    if (gain && (!lowest || gain->db < lowest->db)) lowest = gain;
  }
  if (!lowest) {
    return {Decision::LeaveAlone(ExitCode::kSilent, "silent or below " + std::to_string(kQuietestRaisedPeakDb) +
                                                        " dBFS; nothing to normalize, nothing written"),
            ""};
  }
  return {Decision::Write(*lowest), "peak " + PeakText(loudest)};
}

std::string Names(const Tracks& tracks, bool written) {
  std::string names;
  for (const auto& track : tracks) {
    if (track->written == written) names += (names.empty() ? "" : ", ") + track->options.input;
  }
  return names.empty() ? "none" : names;
}

// The album's files measured together, then written with one gain.
class AlbumRun {
 public:
  AlbumRun(const Options& options, const Planner& planner, const std::vector<std::string>& files, unsigned jobs,
           JobConsole& console)
      : options_(options),
        planner_(planner),
        files_(files),
        jobs_(jobs),
        console_(console),
        // On a terminal: the files measured, then the files written, of all.
        progress_(console.err, console.show_batch_progress && files.size() > 1) {
    for (const std::string& file : files) tracks_.push_back(std::make_unique<Track>(options, file, console));
  }

  // Every lock, target check and measurement before anything is written;
  // false when a file could not be worked on (the run's code then says why).
  bool MeasureAll() {
    EachInOrder([&](Track& track) {
      track.opened = OpenAndMeasure(track.options, planner_, track.report, track.console);
    });
    std::string unmeasured;
    for (const auto& track : tracks_) {
      if (track->failure) unmeasured += (unmeasured.empty() ? "" : ", ") + track->options.input;
    }
    if (unmeasured.empty()) return true;
    console_.err << "normalize: album: nothing written, since " << unmeasured << " could not be worked on\n";
    return false;
  }

  // The album's gain and its line; nothing when no file is to be written.
  std::optional<GainPlan> Decide() {
    AlbumDecision album = options_.mode == Mode::kLoudness ? LoudnessDecision(options_, tracks_)
                                                           : PeakDecision(options_, tracks_);
    album.decision = HeldByThreshold(album.decision, options_.abort_below_db);
    if (!album.decision.gain) {
      console_.out << "album: " << (album.figures.empty() ? "" : album.figures + ", ") << album.decision.why << "\n";
      worst_ = album.decision.code;
      return std::nullopt;
    }
    const GainPlan gain = *album.decision.gain;
    console_.out << "album: " << tracks_.size() << (tracks_.size() == 1 ? " file, " : " files, ") << album.figures
                 << ", gain " << Decibels(gain.db, true) << " dB for every file"
                 << (album.decision.ceiling ? CeilingText(*album.decision.ceiling) : "") << "\n";
    return gain;
  }

  // A file that cannot be written stops the files not yet begun; those in
  // flight finish, so that each file ends written whole or untouched.
  void WriteAll(const GainPlan& gain) {
    const Decision each = Decision::Write(gain);  // the album's line told of the ceiling
    EachInOrder([&](Track& track) {
      if (failed_) return;
      const WriteResult result = WriteAndReplace(track.options, track.opened, gain, track.console);
      track.written = true;
      track.report.Written(track.opened.measured, each, result, track.opened.layout.format);
    });
    if (failed_) {
      console_.err << "normalize: album: written with gain " << Decibels(gain.db, true)
                   << " dB: " << Names(tracks_, true) << "; left as they were: " << Names(tracks_, false) << "\n";
    }
  }

  ExitCode worst() const { return worst_; }

 private:
  // step(track) on every file through InOrder, each file's text passed on in
  // the album's order; a step's failure is the file's, and is noted at once
  // so that steps not yet begun can see it.
  template <typename Step>
  void EachInOrder(const Step& step) {
    progress_.Show(0, tracks_.size(), files_.front());
    InOrder(
        tracks_.size(), jobs_,
        [&](std::size_t i) {
          Track& track = *tracks_[i];
          try {
            step(track);
          } catch (const Failure& failure) {
            track.report.Failed(failure);
            track.failure = failure;
            failed_ = true;
          }
        },
        [&](std::size_t i) { PassOn(*tracks_[i]); },
        [&](std::size_t done, std::size_t next) { progress_.Show(done, tracks_.size(), files_[next]); });
    progress_.Erase();
  }

  void PassOn(Track& track) {
    progress_.Erase();
    console_.err << track.err.str();
    console_.out << track.out.str() << std::flush;
    track.err.str("");
    track.out.str("");
    if (track.failure) worst_ = Worse(worst_, track.failure->code());
  }

  const Options& options_;
  const Planner& planner_;
  const std::vector<std::string>& files_;
  unsigned jobs_;
  JobConsole& console_;
  BatchProgress progress_;
  Tracks tracks_;
  ExitCode worst_ = ExitCode::kOk;
  std::atomic<bool> failed_{false};  // a file could not be worked on
};

}  // namespace

ExitCode RunAlbum(const Options& options, const Planner& planner, const std::vector<std::string>& files,
                  unsigned jobs, JobConsole& console) {
  AlbumRun album(options, planner, files, jobs, console);
  if (!album.MeasureAll()) return album.worst();
  const std::optional<GainPlan> gain = album.Decide();
  if (gain) album.WriteAll(*gain);
  return album.worst();
}

}  // namespace normalize
