#pragma once
// --limit's write: the gain before the limiter chosen so that the limited
// result, rounded and dithered as it will be written, measures the plan's
// target. Limiting lowers the loudness by what it takes from the peaks, so
// the gain is found by measuring the result (a few read-only passes), never
// above the most the limiter's depth allows.
#include <functional>
#include <optional>

#include "job/write_plan.h"
#include "loudness/loudness_analysis.h"
#include "loudness/peak_limiter.h"
#include "samples/dither.h"
#include "samples/limited_gain.h"
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
// one whose limited result measures it (within a hundredth of a LU, or the
// most the plan allows); `dither_for` gives the dither a gain gets.
LimitedResult SolveLimitedResult(StreamProcessor& processor, const WavLayout& layout, const WritePlan& plan,
                                 const LimiterSettings& settings,
                                 const std::function<std::optional<Dither>(double factor)>& dither_for);

}  // namespace normalize
