#include "job/limited_result.h"

#include <algorithm>
#include <cmath>

#include "cli/json_writer.h"
#include "job/decibels.h"
#include "job/file_job.h"
#include "job/file_steps.h"
#include "job/written_result.h"
#include "loudness/file_measurement.h"
#include "loudness/loudness_meter.h"

namespace normalize {
namespace {

// A limited result this near the target is where it should be: each pass
// more is a read of the whole file with the limiter, for a few hundredths.
constexpr double kCloseEnoughLu = 0.03;
constexpr int kMostPasses = 6;
// The limiter's threshold below the ceiling: its close look reconstructs
// crests with a sinc of 256 samples, not an infinite one.
constexpr double kMarginDb = 0.15;
constexpr double kUnrankedDb = 1;

constexpr double kGateLufs = -70;  // what a result below the gate counts as

// The figures of the limited result: as written where the format's steps are
// coarse enough to move them (then with `dither`), else of the signal before
// rounding, which spares each pass the gain pass's rounding frame by frame.
LoudnessFigures MeasureLimited(StreamProcessor& processor, const SampleFormat& format, double factor,
                               const LimiterSettings& settings, std::optional<Dither> dither, bool as_written) {
  if (as_written) {
    processor.MeasureResultOf(factor, std::move(dither), settings);
    return MeasureLoudnessOf(processor, format);
  }
  processor.MeasureLimitedSignalOf(factor, settings);
  return MeasureLoudnessOf(processor, LimitedSignalFormat(format));
}

}  // namespace

LimiterSettings LimiterFor(const LimitPlan& limit, const SampleFormat& format) {
  LimiterSettings settings;
  const double ceiling = std::pow(10.0, limit.ceiling_dbtp / 20);
  // As the ceiling's hold keeps it: a step for the rounding of integers.
  const double reserve =
      format.is_float() ? ceiling * 1e-6 : std::ldexp(1.0, 1 - static_cast<int>(format.valid_bits));
  settings.threshold = (ceiling - reserve) * std::pow(10.0, -kMarginDb / 20);
  // The gain's cap keeps the loudest peak the measuring pass found within the
  // depth; a crest it ranked lower but louder in truth (content near Nyquist)
  // may take up to this much more, so that the ceiling still holds.
  settings.most_reduction_db = limit.depth_db + kMarginDb + kUnrankedDb;
  return settings;
}

double SolveForLoudness(const std::function<double(double db)>& lufs_at, double start_db, double most_db,
                        double target_lufs) {
  double db = start_db, lufs = lufs_at(db);
  std::optional<std::pair<double, double>> before;
  for (int pass = 1; pass < kMostPasses; ++pass) {
    const double miss = target_lufs - lufs;
    if (std::fabs(miss) <= kCloseEnoughLu || (miss > 0 && db >= most_db)) break;
    double next = db + miss;
    if (before && before->second != lufs) next = db + miss * (db - before->first) / (lufs - before->second);
    next = std::min(next, most_db);
    if (next == db) break;
    before = {db, lufs};
    db = next;
    lufs = lufs_at(db);
  }
  return db;
}

LimitedResult SolveLimitedResult(StreamProcessor& processor, const WavLayout& layout, const WritePlan& plan,
                                 const LimiterSettings& settings,
                                 const std::function<std::optional<Dither>(double factor)>& dither_for) {
  LimitedResult result;
  result.settings = settings;
  result.factor = plan.gain.factor;
  if (!plan.target_lufs) return result;
  // What the limiter reads of the file is the same at every gain: read once.
  processor.KeepLimiterReading(std::pow(10.0, plan.limit->most_db / 20));
  // The last pass measured the gain chosen: its figures are the result's.
  const bool as_written = plan.ChecksWrittenLoudness(layout.format);
  const auto lufs_at = [&](double db) {
    const double factor = std::pow(10.0, db / 20);
    result.factor = factor;
    result.figures = MeasureLimited(processor, layout.format, factor, settings,
                                    as_written ? dither_for(factor) : std::nullopt, as_written);
    result.limiting = processor.measured_limiting();
    return result.figures->integrated_lufs.value_or(kGateLufs);
  };
  SolveForLoudness(lufs_at, plan.gain.db, plan.limit->most_db, *plan.target_lufs);
  // A result that landed far under its target (it needed more limiting than
  // the depth allows) may sit where the steps move its loudness after all:
  // its figures are then those of the file as written.
  if (!as_written && StepsMoveLoudness(result.figures->integrated_lufs.value_or(kGateLufs), layout.format)) {
    result.figures = MeasureLimited(processor, layout.format, result.factor, settings, dither_for(result.factor), true);
    result.limiting = processor.measured_limiting();
  }
  return result;
}

double LimitAlbum(const std::vector<std::unique_ptr<FileJob>>& tracks, const Options& options, WritePlan& plan) {
  std::vector<std::unique_ptr<StreamProcessor>> processors;
  double album_lufs = kGateLufs;
  for (const auto& track : tracks) {
    if (!track->file) Reopen(*track, options);
    processors.push_back(std::make_unique<StreamProcessor>(*track->file, track->layout,
                                                           static_cast<std::size_t>(options.buffer_kb) * 1024));
    processors.back()->KeepLimiterReading(std::pow(10.0, plan.limit->most_db / 20));
  }
  const auto lufs_at = [&](double db) {
    const double factor = std::pow(10.0, db / 20);
    std::vector<double> blocks;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
      FileJob& track = *tracks[i];
      const bool as_written = plan.ChecksWrittenLoudness(track.layout.format);
      const LoudnessFigures figures =
          MeasureLimited(*processors[i], track.layout.format, factor, LimiterFor(*plan.limit, track.layout.format),
                         as_written ? DitherOf(track, options, plan, i, factor) : std::nullopt, as_written);
      blocks.insert(blocks.end(), figures.block_powers.begin(), figures.block_powers.end());
      track.limiting = processors[i]->measured_limiting();
    }
    album_lufs = GatedLoudness(blocks, 0).value_or(kGateLufs);
    return album_lufs;
  };
  plan.gain = GainOf(std::pow(10.0, SolveForLoudness(lufs_at, plan.gain.db, plan.limit->most_db,
                                                     plan.limit->target_lufs) / 20));
  return album_lufs;
}

namespace {

bool Limited(const FileJob& track) { return track.limiting && track.limiting->frames_limited > 0; }

}  // namespace

std::string AlbumLimitText(const std::vector<std::unique_ptr<FileJob>>& tracks, const WritePlan& plan,
                           double album_lufs) {
  std::string names;
  for (const auto& track : tracks) {
    if (!Limited(*track)) continue;
    names += (names.empty() ? ", limited: " : ", ") + track->input + " (up to " +
             Decibels(-20 * std::log10(track->limiting->lowest_gain), false) + " dB)";
  }
  if (names.empty()) names = ", nothing limited";
  const double target = plan.limit->target_lufs;
  if (album_lufs < target - 0.05) {
    names += " (" + Decibels(target - album_lufs, false) + " LU short of " + Decibels(target, false) +
             " LUFS: the target needs more than --limit-depth " + Decibels(plan.limit->depth_db, false) +
             " dB takes from its peaks)";
  }
  return names;
}

std::string AlbumLimitJson(const Decision& album, const std::vector<std::unique_ptr<FileJob>>& tracks) {
  if (!album.plan || !album.plan->limit) return "";
  std::vector<std::string> names;
  for (const auto& track : tracks) {
    if (Limited(*track)) names.push_back(track->input);
  }
  return JsonStrings(names);
}

}  // namespace normalize
