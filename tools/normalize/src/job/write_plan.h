#pragma once
// What a decision to write tells the writer, the dither and a rerun that
// finishes an album: everything a mode wants of the files as written, so that
// nothing past the planners needs to know which mode chose it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "samples/gain_plan.h"
#include "samples/peak.h"
#include "wav/wav_format.h"

namespace normalize {

// A file's loudest samples as measured, in the codec's signed container
// values: the dither's noise never takes a sample beyond them.
struct SampleBounds {
  std::int32_t low = 0;
  std::int32_t high = 0;
  bool operator==(const SampleBounds&) const = default;
};

// --limit: where the gain pushes peaks over the ceiling, a limiter takes
// them back to it, never by more than `depth_db`: a gain above `most_db`
// would need more.
struct LimitPlan {
  double ceiling_dbtp = 0;
  double depth_db = 0;
  double most_db = 0;
  double target_lufs = 0;  // what the limited result (of the file, or the album) is solved for
  bool operator==(const LimitPlan&) const = default;
};

// Whether the steps of `format` are coarse enough, against a loudness of
// `lufs`, for the rounding (or the dither's noise) to move it by more than a
// few thousandths of a LU.
bool StepsMoveLoudness(double lufs, const SampleFormat& format);

struct WritePlan {
  GainPlan gain;
  // The loudness the file as written is held to: where the rounding (or the
  // dither) moves it away, the gain is corrected once. Nothing for a gain
  // that is the answer as it is (a fixed gain, a peak, an album's one gain).
  std::optional<double> target_lufs;
  bool may_raise = true;  // false where a true-peak ceiling holds the gain: the correction only lowers it
  // Each member's, in the group's order; nothing: no extremes are known.
  std::vector<std::optional<SampleBounds>> bounds;
  // With a limiter after the gain; `target_lufs` is then met by the limited
  // result, the gain being the most it may take.
  std::optional<LimitPlan> limit;

  std::optional<SampleBounds> BoundsOf(std::size_t member) const {
    return member < bounds.size() ? bounds[member] : std::nullopt;
  }
  // Whether the file as written, in `format`, is to be measured: its steps
  // are coarse enough for the rounding to move its loudness off the target.
  bool ChecksWrittenLoudness(const SampleFormat& format) const;
  bool operator==(const WritePlan&) const = default;
};

// The extremes of a peak scan, in container values.
SampleBounds BoundsOfPeak(const PeakTracker& peak);
// A loudness pass knows only the loudest sample's magnitude (a fraction of
// full scale): the same on both sides, within the container's range.
SampleBounds BoundsOfMagnitude(double sample_peak, const SampleFormat& format);

}  // namespace normalize
