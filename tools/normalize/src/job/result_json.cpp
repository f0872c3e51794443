#include "job/result_json.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "cli/json_writer.h"
#include "job/decibels.h"
#include "job/file_job.h"
#include "loudness/loudness_meter.h"

namespace normalize {
namespace {

JsonObject LevelsJson(const Levels& levels) {
  JsonObject json;
  json.Number("sample_peak_dbfs", levels.sample_peak_dbfs)
      .Number("true_peak_dbtp", levels.true_peak_dbtp)
      .Number("integrated_lufs", levels.integrated_lufs)
      .Number("loudness_range_lu", levels.loudness_range_lu);
  return json;
}

// The file as written was measured; its sample peak is the one the writing
// read from the samples it wrote, where it wrote them.
Levels WrittenLevels(const LoudnessFigures& figures, const SampleFormat& format, const WriteResult* result) {
  const double sample_peak = result ? ToPeak(result->after, format).magnitude() : figures.sample_peak;
  return Levels{DecibelsOf(sample_peak), DecibelsOf(figures.true_peak), figures.integrated_lufs,
                figures.loudness_range_lu, true};
}

// The figures a gain of `db` leads to. Where the samples were written, their
// peak is the one read from them; where some were clipped, the loudness and
// true peak are no longer known (nothing). A loudness below the -70 LUFS gate
// does not exist; where the blocks measured are known, the gain moves each
// across the gates, not only the whole.
constexpr double kAbsoluteGateLufs = -70;  // BS.1770's
constexpr double kPredictableAboveStepDb = 40;

Levels After(const Levels& before, const Decision& decision, const FileJob& job, const WriteResult* result) {
  const SampleFormat& format = job.layout.format;
  const double db = decision.gain().db;
  const auto moved = [db](std::optional<double> level) { return level ? std::optional<double>(*level + db) : level; };
  const auto& loudness = job.measured.loudness;
  Levels after{moved(before.sample_peak_dbfs), moved(before.true_peak_dbtp),
               decision.result_lufs                              ? decision.result_lufs
               : loudness && !loudness->block_powers.empty() ? GatedLoudness(loudness->block_powers, db)
                                                                 : moved(before.integrated_lufs),
               before.loudness_range_lu};
  if (!format.is_float() && after.sample_peak_dbfs) after.sample_peak_dbfs = std::min(*after.sample_peak_dbfs, 0.0);
  if (after.integrated_lufs && *after.integrated_lufs < kAbsoluteGateLufs) after.integrated_lufs.reset();
  // Near the steps, the rounding and the dither move a level a prediction
  // cannot follow: only a measurement of the file as written would know it.
  const auto near_steps = [&format](const std::optional<double>& level) {
    return level && !format.is_float() && *level < -6.0206 * (format.valid_bits - 1) + kPredictableAboveStepDb;
  };
  if (near_steps(after.integrated_lufs)) after.integrated_lufs.reset();
  if (near_steps(after.true_peak_dbtp)) after.true_peak_dbtp.reset();
  if (!result) return after;
  after.sample_peak_dbfs = DecibelsOf(ToPeak(result->after, format).magnitude());
  if (result->clipped > 0) after.true_peak_dbtp.reset(), after.integrated_lufs.reset();
  return after;
}

}  // namespace

Levels MeasuredLevels(const FileJob& job, const WriteResult* result) {
  Levels levels;
  if (const auto& loudness = job.measured.loudness) {
    levels.sample_peak_dbfs = DecibelsOf(loudness->sample_peak);
    levels.true_peak_dbtp = DecibelsOf(loudness->true_peak);
    levels.integrated_lufs = loudness->integrated_lufs;
    levels.loudness_range_lu = loudness->loudness_range_lu;
    levels.loudness_measured = true;
  } else if (job.measured.peak || result) {
    levels.sample_peak_dbfs =
        DecibelsOf(ToPeak(job.measured.peak ? *job.measured.peak : result->before, job.layout.format).magnitude());
  }
  return levels;
}

std::string ResultJson(const FileJob& job, const Decision& decision, const WriteResult* result, bool dry_run) {
  const Levels before = MeasuredLevels(job, result);
  const bool changes = decision.plan && (result || !decision.already_right);
  JsonObject json;
  json.String("file", job.input).Bool("written", result != nullptr);
  if (dry_run) json.Bool("dry_run", true);
  const double gain_db = job.written_gain ? job.written_gain->db : decision.plan ? decision.gain().db : 0;
  json.Number("gain_db", decision.plan ? std::optional<double>(changes ? gain_db : 0) : std::nullopt);
  if (result) json.Count("clipped", result->clipped);
  if (decision.ceiling) json.Bool("held_by_ceiling", true);
  if (decision.plan && decision.plan->limit) {
    const std::optional<LimiterReport>& limiting = job.limiting;
    const bool limited = limiting && limiting->frames > 0;
    std::optional<double> reduction_db;
    std::optional<double> share;
    if (limiting) {
      reduction_db = limited ? -20 * std::log10(limiting->lowest_gain) : 0.0;
      share = limited ? static_cast<double>(limiting->frames_limited) / limiting->frames : 0.0;
    }
    json.Object("limited", JsonObject().Number("largest_reduction_db", reduction_db).Number("limited_share", share, 4));
  }
  if (!changes && !decision.why.empty()) json.String("reason", decision.why);
  json.Object("before", LevelsJson(before));
  json.Object("after", LevelsJson(!changes                ? before
                                  : job.written_figures ? WrittenLevels(*job.written_figures, job.layout.format, result)
                                                        : After(before, decision, job, result)));
  return json.Text();
}

}  // namespace normalize
