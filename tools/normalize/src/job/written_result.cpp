#include "job/written_result.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "job/decibels.h"
#include "job/file_job.h"
#include "loudness/loudness_plan.h"
#include "wav/input_file.h"
#include "wav/riff.h"

namespace normalize {
namespace {

// Below this distance between the target and the level of one step, the
// rounding (or the dither's noise) can move the integrated loudness by more
// than a few thousandths of a LU; above it, it cannot.
constexpr double kCoarseStepsDb = 50;
// A written loudness this near the target is left as it is.
constexpr double kCloseEnoughLu = 0.02;

bool StepsCoarseFor(const SampleFormat& format, double target_lufs) {
  if (format.is_float()) return false;
  const double step_db = -6.0206 * (format.valid_bits - 1);
  return target_lufs - step_db < kCoarseStepsDb;
}

std::optional<Dither> DitherFor(const FileJob& job, const Options& options, double factor) {
  const WavLayout& layout = job.layout;
  const Measured& measured = job.measured;
  if (!options.dither || !DitherApplies(layout.format, factor)) return std::nullopt;
  const std::string name = std::filesystem::path(job.input).filename().string();
  Dither dither(DitherSeed(name, layout.data_chunk().size));
  if (measured.peak) {
    dither.low = static_cast<std::int32_t>(measured.peak->min);
    dither.high = static_cast<std::int32_t>(measured.peak->max);
  } else if (measured.loudness) {
    // The loudest sample's magnitude, in container values, on both sides
    // (within the range: the negative side reaches one step further).
    const double full_scale = std::ldexp(1.0, 8 * static_cast<int>(layout.format.container_bytes) - 1);
    const auto loudest = static_cast<std::int32_t>(std::lround(measured.loudness->sample_peak * full_scale));
    dither.low = -loudest;
    dither.high = std::min<std::int32_t>(loudest, static_cast<std::int32_t>(full_scale - 1));
  }
  return dither;
}

LoudnessFigures MeasureResult(StreamProcessor& processor, const WavLayout& layout, double factor,
                              const std::optional<Dither>& dither) {
  processor.MeasureResultOf(factor, dither);
  return MeasureLoudness(processor, layout.format);
}

}  // namespace

WrittenResult PlanWrittenResult(const FileJob& job, const Options& options, StreamProcessor& processor,
                                double factor, std::optional<double> target_lufs, bool may_raise) {
  const WavLayout& layout = job.layout;
  WrittenResult result;
  result.factor = factor;
  result.dither = DitherFor(job, options, factor);
  const bool check_target = target_lufs && StepsCoarseFor(layout.format, *target_lufs);
  const bool bext = layout.bext_loudness && layout.bext_loudness->any();
  if (!check_target && !bext) return result;
  result.figures = MeasureResult(processor, layout, result.factor, result.dither);
  const std::optional<double> written = result.figures->integrated_lufs;
  if (check_target && written && std::fabs(*written - *target_lufs) > kCloseEnoughLu &&
      (may_raise || *written > *target_lufs)) {
    result.factor *= std::pow(10.0, (*target_lufs - *written) / 20);
    result.dither = DitherFor(job, options, result.factor);
    result.figures = MeasureResult(processor, layout, result.factor, result.dither);
  }
  return result;
}

BextLoudness BextFiguresOf(const LoudnessFigures& figures) {
  BextLoudness bext;
  bext.values[kBextIntegrated] = figures.integrated_lufs;
  bext.values[kBextRange] = figures.loudness_range_lu;
  bext.values[kBextTruePeak] = DecibelsOf(figures.true_peak);
  bext.values[kBextMaxMomentary] = figures.max_momentary_lufs;
  bext.values[kBextMaxShortTerm] = figures.max_short_term_lufs;
  return bext;
}

void RefreshBext(StreamProcessor& processor, const WavLayout& layout, const LoudnessFigures& result) {
  if (!layout.bext || !layout.bext_loudness || !layout.bext_loudness->any()) return;
  const auto bytes = EncodeBextLoudness(Refreshed(*layout.bext_loudness, BextFiguresOf(result)));
  const std::uint64_t at = layout.chunks[*layout.bext].offset + riff::kChunkHeaderBytes + bext::kLoudnessOffset;
  processor.Replace(at, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

}  // namespace normalize
