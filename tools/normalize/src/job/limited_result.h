#pragma once
// --limit's write: the gain before the limiter chosen so that the limited
// result, rounded and dithered as it will be written, measures the plan's
// target. Limiting lowers the loudness by what it takes from the peaks, so
// the gain is found by measuring the result (a few read-only passes), never
// above the most the limiter's depth allows.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/write_plan.h"
#include "loudness/loudness_analysis.h"
#include "samples/dither.h"
#include "samples/limited_gain.h"
#include "samples/peak_limiter.h"
#include "samples/stream_processor.h"
#include "wav/wav_format.h"

namespace normalize {

struct LimitedResult {
  double factor = 1;
  LimiterSettings settings;
  std::optional<LoudnessFigures> figures;  // of the result, where it was measured
  std::optional<LimiterReport> limiting;   // what the limiter did in it
};

// The limiter's settings for a file written as `format`.
LimiterSettings LimiterFor(const LimitPlan& limit, const SampleFormat& format);

// The gain for member `plan` is made for: where the plan has a target, the
// one whose limited result measures it (within 0.03 LU, or the
// most the plan allows); `dither_for` gives the dither a gain gets.
LimitedResult SolveLimitedResult(StreamProcessor& processor, const WavLayout& layout, const WritePlan& plan,
                                 const LimiterSettings& settings,
                                 const std::function<std::optional<Dither>(double factor)>& dither_for);

// The gain in dB, from `start_db` and at most `most_db`, at which
// `lufs_at(db)` (the limited result's loudness; -70 below the gate) is
// `target_lufs`: a secant's steps, the first as if it rose dB for dB.
double SolveForLoudness(const std::function<double(double db)>& lufs_at, double start_db, double most_db,
                        double target_lufs);

struct FileJob;
struct Options;
// --album --limit: the album's one gain (in `plan`) solved so that its
// tracks, each limited on its own, measure its target together (their
// blocks gated as one); each track's `limiting` as that gain gives it.
// Gives the album's loudness at that gain. Throws Failure.
double LimitAlbum(const std::vector<std::unique_ptr<FileJob>>& tracks, const Options& options, WritePlan& plan);

// The album line's ", limited: a.wav (up to 3.20 dB), c.wav (up to 0.41 dB)"
// or ", nothing limited" (and how far short of the target the album lands
// where it needed more), and its JSON's "limited_files" array (empty where
// the album's plan does not limit).
struct Decision;
std::string AlbumLimitText(const std::vector<std::unique_ptr<FileJob>>& tracks, const WritePlan& plan,
                           double album_lufs);
std::string AlbumLimitJson(const Decision& album, const std::vector<std::unique_ptr<FileJob>>& tracks);

}  // namespace normalize
