#pragma once
// What a writing run does beyond choosing the gain: the dither it adds, one
// correction where the plan holds the file as written (rounded and dithered)
// to a loudness target, and a broadcast WAV's loudness fields made true for the
// result.
#include <optional>

#include "cli/command_line.h"
#include "job/planner.h"
#include "loudness/loudness_analysis.h"
#include "samples/dither.h"
#include "samples/limited_gain.h"
#include "samples/peak_limiter.h"
#include "samples/stream_processor.h"
#include "wav/bext_chunk.h"
#include "wav/wav_format.h"

namespace normalize {

struct FileJob;

struct WrittenResult {
  double factor = 1;              // the gain, corrected where the rounding moved the loudness
  std::optional<Dither> dither;   // as the write pass starts it
  std::optional<LoudnessFigures> figures;  // of the result, where they were needed
  std::optional<LimiterSettings> limit;    // --limit's limiter after the gain
  std::optional<LimiterReport> limiting;   // what it did in the result measured
};

// Member `member` of the group `plan` was made for: its gain, its dither
// within the member's extremes and, where the plan holds the file as written
// to a loudness, one correction. Measures the result (with `processor`,
// read-only) only where the rounding can move the loudness or the file's
// bext fields need the result's figures.
WrittenResult PlanWrittenResult(const FileJob& job, const Options& options, StreamProcessor& processor,
                                const WritePlan& plan, std::size_t member);

// The dither member `member` of `plan`'s group gets at `factor`, where any.
std::optional<Dither> DitherOf(const FileJob& job, const Options& options, const WritePlan& plan, std::size_t member,
                               double factor);

// The result's figures in the bext fields' terms.
BextLoudness BextFiguresOf(const LoudnessFigures& figures);

// Has the writing `processor` put the result's figures into every set loudness
// field of the file's bext chunk; whether that changes a byte.
bool RefreshBext(StreamProcessor& processor, const WavLayout& layout, const LoudnessFigures& result);

}  // namespace normalize
