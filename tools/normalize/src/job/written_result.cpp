#include "job/written_result.h"

#include "job/decibels.h"
#include "job/file_job.h"
#include "job/limited_result.h"
#include "job/written_loudness.h"
#include "loudness/file_measurement.h"
#include "wav/input_file.h"
#include "wav/riff.h"

namespace normalize {
namespace {

// How far above its target a limited result as written may measure.
constexpr double kLimitedPromiseLu = 0.1;

// Measuring passes over the file as written, after the first: enough for the
// noise-aware correction to settle on any material measured here.
constexpr int kMostCorrections = 5;

std::optional<Dither> DitherFor(const FileJob& job, const Options& options, const std::optional<SampleBounds>& bounds,
                                double factor) {
  const WavLayout& layout = job.layout;
  if (!options.dither || !DitherApplies(layout.format, factor)) return std::nullopt;
  Dither dither(DitherSeed(*job.file, layout));
  if (bounds) {
    dither.low = bounds->low;
    dither.high = bounds->high;
  }
  return dither;
}

LoudnessFigures MeasureResult(StreamProcessor& processor, const WavLayout& layout, double factor,
                              const std::optional<Dither>& dither) {
  processor.MeasureResultOf(factor, dither);
  return MeasureLoudnessOf(processor, layout.format);
}

}  // namespace

WrittenResult PlanWrittenResult(const FileJob& job, const Options& options, StreamProcessor& processor,
                                const WritePlan& plan, std::size_t member) {
  const WavLayout& layout = job.layout;
  const std::optional<SampleBounds> bounds = plan.BoundsOf(member);
  WrittenResult result;
  result.factor = plan.gain.factor;
  result.dither = DitherFor(job, options, bounds, result.factor);
  const bool check_target = plan.ChecksWrittenLoudness(layout.format);
  const bool bext = layout.bext_loudness && layout.bext_loudness->any();
  if (plan.limit) {
    const LimitedResult limited =
        SolveLimitedResult(processor, layout, plan, LimiterFor(*plan.limit, layout.format),
                           [&](double factor) { return DitherFor(job, options, bounds, factor); });
    result.factor = limited.factor;
    result.dither = DitherFor(job, options, bounds, result.factor);
    result.limit = limited.settings;
    result.figures = limited.figures;
    result.limiting = limited.limiting;
    // On steps this coarse the solve can end above the target, which the
    // file as written then overshoots: refused, as without --limit.
    const std::optional<double> lufs = result.figures ? result.figures->integrated_lufs : std::nullopt;
    if (check_target && lufs && *lufs > *plan.target_lufs + kLimitedPromiseLu) {
      throw Failure(ExitCode::kBeyondFormat, "the loudness " + Decibels(*plan.target_lufs, false) +
                                                 " LUFS is beyond what " + Describe(layout.format) +
                                                 " holds for this file: limited and written at its steps it would "
                                                 "measure " + Decibels(*lufs, false) + " LUFS; file left untouched");
    }
    // What limiting takes away no gain foretells: an album's track (whose
    // gain was not solved here) is measured as written too.
    if (!result.figures) {
      processor.MeasureResultOf(result.factor, result.dither, result.limit);
      result.figures = MeasureLoudnessOf(processor, layout.format);
    }
    return result;
  }
  if (!check_target && !bext) return result;
  result.figures = MeasureResult(processor, layout, result.factor, result.dither);
  if (!check_target) return result;
  // The file as written, corrected toward the target a few times at most.
  WrittenLoudness held(*plan.target_lufs, plan.may_raise);
  for (int tries = 0; tries < kMostCorrections; ++tries) {
    const std::optional<double> next = held.Next(result.factor, result.figures->integrated_lufs);
    if (!next) break;
    result.factor = *next;
    result.dither = DitherFor(job, options, bounds, result.factor);
    result.figures = MeasureResult(processor, layout, result.factor, result.dither);
  }
  held.Next(result.factor, result.figures->integrated_lufs);
  if (const std::optional<double> nearest = held.Nearest(); nearest && *nearest != result.factor) {
    result.factor = *nearest;
    result.dither = DitherFor(job, options, bounds, result.factor);
    result.figures = MeasureResult(processor, layout, result.factor, result.dither);
    held.Next(result.factor, result.figures->integrated_lufs);
  }
  held.CheckMet(layout.format);
  return result;
}

std::optional<Dither> DitherOf(const FileJob& job, const Options& options, const WritePlan& plan, std::size_t member,
                               double factor) {
  return DitherFor(job, options, plan.BoundsOf(member), factor);
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

bool RefreshBext(StreamProcessor& processor, const WavLayout& layout, const LoudnessFigures& result) {
  if (!layout.bext || !layout.bext_loudness || !layout.bext_loudness->any()) return false;
  const auto bytes = EncodeBextLoudness(Refreshed(*layout.bext_loudness, BextFiguresOf(result)));
  const std::uint64_t at = layout.chunks[*layout.bext].offset + riff::kChunkHeaderBytes + bext::kLoudnessOffset;
  processor.Replace(at, std::vector<unsigned char>(bytes.begin(), bytes.end()));
  return bytes != EncodeBextLoudness(*layout.bext_loudness);
}

}  // namespace normalize
