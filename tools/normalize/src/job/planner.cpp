#include "job/planner.h"

#include <cmath>

#include "job/decibels.h"
#include "loudness/file_measurement.h"

namespace normalize {

std::unique_ptr<Planner> PlannerFor(const Options& options) {
  if (options.analyze) return AnalysisPlanner();
  switch (options.mode) {
    case Mode::kRatio: return FixedGainPlanner(RatioGain(options.value), options.abort_below_db);
    case Mode::kLevel: return FixedGainPlanner(LevelGain(options.value), options.abort_below_db);
    case Mode::kPercent: return PeakPlanner(options.value, options.abort_below_db);
    case Mode::kLoudness:
      return LoudnessPlanner(options.loudness_lufs, options.true_peak_dbtp,
                             options.limit ? std::optional<double>(options.limit_depth_db) : std::nullopt,
                             options.abort_below_db);
  }
  return nullptr;
}

namespace {

// A gain under which a file's loudest sample rounds to nothing would leave
// it silent: refused, naming the quietest gain that keeps it.
std::optional<Decision> RefusedAsSilencing(const Decision& decision, const std::vector<MeasuredFile>& files) {
  if (!decision.plan || decision.already_right) return std::nullopt;
  for (const MeasuredFile& file : files) {
    const SampleFormat& format = file.layout.format;
    const double peak = file.measured.loudness ? file.measured.loudness->sample_peak
                        : file.measured.peak    ? ToPeak(*file.measured.peak, format).magnitude()
                                                : 0;
    if (!GainSilences(decision.gain(), peak, format)) continue;
    Decision refused = Decision::LeaveAlone(
        ExitCode::kBeyondFormat, "a gain of " + Decibels(decision.gain().db, true) + " dB would round every sample of " +
                                     (files.size() == 1 ? "the file" : "a file") + " peaking at " +
                                     Decibels(20 * std::log10(peak), false) + " dBFS to silence in " + Describe(format) +
                                     " (the quietest gain that keeps it is " +
                                     Decibels(QuietestKeepingDb(peak, format), true) + " dB); " +
                                     (files.size() == 1 ? "file left untouched" : "nothing written"));
    refused.figures = decision.figures;
    refused.levels = decision.levels;
    return refused;
  }
  return std::nullopt;
}

}  // namespace

// -x: a decision to write is turned into leaving the files alone when its
// gain is below the threshold.
Decision Planner::Decide(const std::vector<MeasuredFile>& files) const {
  Decision decision = Plan(files);
  if (std::optional<Decision> refused = RefusedAsSilencing(decision, files)) return *refused;
  if (!decision.plan || decision.already_right || !threshold_db_ || !BelowThreshold(decision.gain(), *threshold_db_)) {
    return decision;
  }
  Decision held = Decision::LeaveAlone(ExitCode::kBelowThreshold,
                                       "gain " + Decibels(decision.gain().db, true) + " dB is below -x " +
                                           std::to_string(*threshold_db_) + " dB; " + LeftAlone(files));
  held.figures = decision.figures;
  held.levels = decision.levels;
  return held;
}

Measured Planner::Measure(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes, unsigned threads,
                          const ProgressFn& progress) const {
  switch (measurement()) {
    case Measurement::kNothing: return {};
    case Measurement::kPeak: return Measured{ScanPeakOf(input, layout, buffer_bytes, threads, progress), std::nullopt};
    case Measurement::kLoudness:
    case Measurement::kLoudnessAndCeilingPeak:
      return Measured{std::nullopt, MeasureLoudnessOf(input, layout, buffer_bytes, threads,
                                                      measurement() == Measurement::kLoudnessAndCeilingPeak, progress)};
  }
  return {};
}

std::string Planner::Meaning() const {
  return ModeMeaning() + (threshold_db_ ? " -x " + std::to_string(*threshold_db_) : "");
}

}  // namespace normalize
