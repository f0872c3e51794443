#include "job/reporter.h"

#include <cmath>

#include "cli/json_writer.h"
#include "cli/terminal_text.h"
#include "job/analysis_line.h"
#include "job/decibels.h"
#include "job/file_job.h"
#include "job/output_dir.h"
#include "job/result_json.h"

namespace normalize {

std::string CeilingText(const CeilingHold& hold) {
  return " (held by the " + Decibels(hold.ceiling_dbtp, false) + " dBTP true-peak ceiling; " +
         Decibels(hold.wanted_db, true) + " dB would reach " + Decibels(hold.target_lufs, false) +
         " LUFS, the result is " +
         (hold.result_lufs ? Decibels(*hold.result_lufs, false) + " LUFS)" : "below the -70 LUFS gate)");
}

std::string LimitText(const LimitPlan& limit, const std::optional<LimiterReport>& limiting,
                      std::optional<double> target_lufs, const std::optional<LoudnessFigures>& written) {
  std::string text;
  if (!limiting || limiting->frames_limited == 0) {
    text = ", nothing limited";
  } else {
    text = ", limited by up to " + Decibels(-20 * std::log10(limiting->lowest_gain), false) + " dB on " +
           Fixed(100.0 * static_cast<double>(limiting->frames_limited) / static_cast<double>(limiting->frames), 1) +
           " % of its length";
  }
  if (target_lufs && written && written->integrated_lufs && *written->integrated_lufs < *target_lufs - 0.05) {
    text += " (" + Decibels(*target_lufs - *written->integrated_lufs, false) + " LU short of " +
            Decibels(*target_lufs, false) + " LUFS: the target needs more than --limit-depth " +
            Decibels(limit.depth_db, false) + " dB takes from its peaks)";
  }
  return text;
}

std::string GroupLine(const Options& options, std::size_t files, const Decision& decision, bool json,
                      const std::string& limited) {
  const bool writes = decision.writes(WritesElsewhere(options));
  if (json) {
    const Levels& levels = decision.levels;
    JsonObject line;
    line.Bool("album", true)
        .Count("files", files)
        .Number("gain_db", decision.plan ? std::optional<double>(decision.gain().db) : std::nullopt)
        .Number("sample_peak_dbfs", levels.sample_peak_dbfs)
        .Number("true_peak_dbtp", levels.true_peak_dbtp)
        .Number("integrated_lufs", levels.integrated_lufs);
    if (options.dry_run) line.Bool("dry_run", true);
    if (decision.ceiling) line.Bool("held_by_ceiling", true);
    if (!limited.empty()) line.Raw("limited_files", limited);
    if (!decision.why.empty()) line.String("reason", decision.why);
    return line.Text();
  }
  const std::string figures = decision.figures.empty() ? "" : decision.figures + ", ";
  if (!writes) return "album: " + figures + decision.why;
  return "album: " + std::to_string(files) + (files == 1 ? " file, " : " files, ") + figures + "gain " +
         Decibels(decision.gain().db, true) + " dB for every file" +
         (decision.ceiling ? CeilingText(*decision.ceiling) : "") + limited +
         (options.dry_run ? "; dry run, nothing written" : "");
}

namespace {

// A gain beyond this mostly makes near-silence or noise loud, rarely music.
constexpr double kLargeGainDb = 40;

}  // namespace

std::string Reporter::OutName(const std::string& name) const {
  return job_.console.out_is_terminal ? TerminalSafe(name) : name;
}

std::string Reporter::ErrName() const {
  return job_.console.err_is_terminal ? TerminalSafe(job_.input) : job_.input;
}

ProgressFn Reporter::Progress() const {
  if (!job_.console.show_progress || options_.json) return {};
  return [&console = job_.console](const char* pass, double done) {
    console.out << "\r" << pass << " " << static_cast<int>(done * 100) << "% " << std::flush;
  };
}

void Reporter::EndProgress() {
  if (job_.console.show_progress && !options_.json) job_.console.out << "\r";
}

void Reporter::Warn(const std::string& warning) {
  job_.console.err << "normalize: warning: " << ErrName() << ": " << warning << "\n";
}

void Reporter::Layout(const WavLayout& layout, bool writing) {
  for (const LayoutWarning& warning : layout.warnings) Warn(WarningText(warning, writing));
}

void Reporter::WarnNonFinite(const PeakTracker& peak) {
  if (peak.non_finite == 0) return;
  Warn(std::to_string(peak.non_finite) +
       " samples are NaN or infinite; they are left out of the peak and kept as they are in the result");
}

void Reporter::WarnNonFinite(const LoudnessFigures& figures, bool writing) {
  if (figures.non_finite == 0) return;
  Warn(std::to_string(figures.non_finite) + " samples are NaN or infinite; the loudness measures them as silence" +
       (writing ? " and they will be kept as they are in the result" : ""));
}

void Reporter::AfterMeasuring(const Measured& measured, bool writing) {
  if (!measured.peak && !measured.loudness) return;
  EndProgress();
  if (measured.loudness) WarnNonFinite(*measured.loudness, writing);
  if (measured.peak) WarnNonFinite(*measured.peak);
}

void Reporter::NotWritten(const Decision& decision, bool text) {
  // No reason: the measured figures are the answer (--analyze).
  const bool figures_only = decision.why.empty();
  if (Json(figures_only ? AnalysisJson(job_.input, *job_.measured.loudness, job_.layout.bext_loudness)
                        : ResultJson(job_, decision, nullptr, options_.dry_run)) ||
      !text) {
    return;
  }
  if (!figures_only) {
    job_.console.out << OutName(job_.input) << ": " << decision.why << "\n";
  } else {
    job_.console.out << AnalysisText(OutName(job_.input), *job_.measured.loudness, job_.layout.bext_loudness) << "\n";
  }
}

bool Reporter::Json(const std::string& json) {
  if (ReportPage* page = job_.console.report) {
    const auto& loudness = job_.measured.loudness;
    job_.report_lines += page->Line(json, loudness ? &loudness->segment_powers : nullptr);
  }
  if (options_.json) job_.console.out << json << "\n";
  return options_.json;
}

std::string Reporter::Figures(const WriteResult* result) const {
  const Measured& measured = job_.measured;
  // Where no scan came first, the write pass found the peak.
  return measured.loudness || measured.peak || result ? FiguresText(MeasuredLevels(job_, result)) : "";
}

std::string Reporter::GainText(const Decision& decision) const {
  const GainPlan& gain = job_.written_gain ? *job_.written_gain : decision.gain();
  const auto& written = job_.written_figures;
  const std::string as_written = written && written->integrated_lufs && decision.plan->target_lufs
                                     ? " (the file as written: " + Decibels(*written->integrated_lufs, false) + " LUFS)"
                                     : "";
  const WritePlan& plan = *decision.plan;
  return "gain " + Decibels(gain.db, true) + " dB" + as_written +
         (decision.ceiling ? CeilingText(*decision.ceiling) : "") +
         (plan.limit ? LimitText(*plan.limit, job_.limiting, plan.target_lufs, written) : "") +
         (gain.factor < 0 ? ", polarity inverted" : "");
}

// -x cannot refuse such a gain: it leaves alone only files whose gain would be
// smaller than its level. The warning says so, so that nobody counts on it.
void Reporter::WarnLargeGain(const Decision& decision, const WriteResult* result, bool written) {
  if (!decision.plan || decision.gain().db <= kLargeGainDb) return;
  const std::string figures = Figures(result);
  Warn("a gain of " + Decibels(decision.gain().db, true) + " dB " + (written ? "was" : "would be") +
       " applied" + (figures.empty() ? "" : " to a file of " + figures) +
       ": is it only noise or near silence? (-x leaves alone only files whose gain would be smaller than its "
       "level; to keep such a file as it is, leave it out of the run)");
}

void Reporter::Written(const Decision& decision, const WriteResult& result) {
  EndProgress();
  if (job_.result_was_there) {
    Decision kept = Decision::LeaveAlone(ExitCode::kOk, "its result is in " + OutName(job_.output) +
                                                            " already; left as it was");
    kept.plan = decision.plan;
    kept.already_right = true;
    NotWritten(kept);
    return;
  }
  if (!job_.measured.peak && !job_.measured.loudness) WarnNonFinite(result.before);
  WarnLargeGain(decision, &result, true);
  if (job_.unchanged) {
    Decision kept = decision;
    kept.already_right = true;
    kept.why = "the gain changes no sample; left as it was";
    if (Json(ResultJson(job_, kept, nullptr, false))) return;
    job_.console.out << OutName(job_.input) << ": " << Figures(&result) << ", " << GainText(decision) << ": "
                     << kept.why << "\n";
    return;
  }
  if (Json(ResultJson(job_, decision, &result, false))) return;
  job_.console.out << Figures(&result) << ", " << GainText(decision) << ", " << result.clipped << " clipped, "
                   << Describe(job_.layout.format) << ", written to " << OutName(job_.output) << "\n";
}

void Reporter::WouldWrite(const Decision& decision) {
  WarnLargeGain(decision, nullptr, false);
  if (Json(ResultJson(job_, decision, nullptr, true))) return;
  // The real run's line, less the clipped count that only writing finds.
  const std::string figures = Figures(nullptr);
  job_.console.out << (figures.empty() ? "" : figures + ", ") << GainText(decision) << ", "
                   << Describe(job_.layout.format) << ", written to " << OutName(job_.output)
                   << "; dry run, not written\n";
}

void Reporter::Failed(const Failure& failure) {
  if (job_.console.show_progress) job_.console.out << "\r" << std::flush;
  job_.console.err << "normalize: " << ErrName() << ": " << failure.what() << "\n";
  Json(AnalysisJsonFailure(job_.input, failure.what()));
}

}  // namespace normalize
