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

}  // namespace

ExitCode RunAlbum(const Options& options, const Planner& planner, const std::vector<std::string>& files,
                  unsigned jobs, JobConsole& console) {
  Tracks tracks;
  for (const std::string& file : files) tracks.push_back(std::make_unique<Track>(options, file, console));
  // On a terminal: the files measured, then the files written, of all.
  BatchProgress progress(console.err, console.show_batch_progress && tracks.size() > 1);
  const auto waiting = [&](std::size_t done, std::size_t next) {
    progress.Show(done, tracks.size(), files[next]);
  };
  const auto pass_on = [&](Track& track) {
    progress.Erase();
    console.err << track.err.str();
    console.out << track.out.str() << std::flush;
    track.err.str("");
    track.out.str("");
  };

  // Every lock, target check and measurement before anything is written.
  ExitCode worst = ExitCode::kOk;
  std::string unmeasured;
  progress.Show(0, tracks.size(), files.front());
  InOrder(
      tracks.size(), jobs,
      [&](std::size_t i) {
        Track& track = *tracks[i];
        try {
          track.opened = OpenAndMeasure(track.options, planner, track.report, track.console);
        } catch (const Failure& failure) {
          track.report.Failed(failure);
          track.failure = failure;
        }
      },
      [&](std::size_t i) {
        pass_on(*tracks[i]);
        if (!tracks[i]->failure) return;
        worst = Worse(worst, tracks[i]->failure->code());
        unmeasured += (unmeasured.empty() ? "" : ", ") + tracks[i]->options.input;
      },
      waiting);
  progress.Erase();
  if (!unmeasured.empty()) {
    console.err << "normalize: album: nothing written, since " << unmeasured << " could not be worked on\n";
    return worst;
  }

  AlbumDecision album = options.mode == Mode::kLoudness ? LoudnessDecision(options, tracks)
                                                        : PeakDecision(options, tracks);
  album.decision = HeldByThreshold(album.decision, options.abort_below_db);
  if (!album.decision.gain) {
    console.out << "album: " << (album.figures.empty() ? "" : album.figures + ", ") << album.decision.why << "\n";
    return album.decision.code;
  }
  const GainPlan gain = *album.decision.gain;
  console.out << "album: " << tracks.size() << (tracks.size() == 1 ? " file, " : " files, ") << album.figures
              << ", gain " << Decibels(gain.db, true) << " dB for every file"
              << (album.decision.ceiling ? CeilingText(*album.decision.ceiling) : "") << "\n";

  // A file that cannot be written stops the files not yet begun; those in
  // flight finish, so that each file ends written whole or untouched.
  std::atomic<bool> stopped{false};
  const Decision each = Decision::Write(gain);  // the album's line told of the ceiling
  progress.Show(0, tracks.size(), files.front());
  InOrder(
      tracks.size(), jobs,
      [&](std::size_t i) {
        Track& track = *tracks[i];
        if (stopped) return;
        try {
          const WriteResult result = WriteAndReplace(track.options, track.opened, gain, track.console);
          track.written = true;
          track.report.Written(track.opened.measured, each, result, track.opened.layout.format);
        } catch (const Failure& failure) {
          track.report.Failed(failure);
          track.failure = failure;
          stopped = true;
        }
      },
      [&](std::size_t i) {
        pass_on(*tracks[i]);
        if (tracks[i]->failure) worst = Worse(worst, tracks[i]->failure->code());
      },
      waiting);
  progress.Erase();
  if (stopped) {
    console.err << "normalize: album: written with gain " << Decibels(gain.db, true) << " dB: " << Names(tracks, true)
                << "; left as they were: " << Names(tracks, false) << "\n";
  }
  return worst;
}

}  // namespace normalize
