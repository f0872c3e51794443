#include "job/reporter.h"

#include <cmath>

#include "job/analysis_line.h"
#include "job/decibels.h"

namespace normalize {

std::string LoudnessText(const LoudnessFigures& figures) {
  const auto true_peak = DecibelsOf(figures.true_peak);
  return "loudness " + Decibels(figures.integrated_lufs.value_or(-HUGE_VAL), false) + " LUFS, true peak " +
         (true_peak ? Decibels(*true_peak, false) : "-inf") + " dBTP";
}

std::string CeilingText(const CeilingHold& hold) {
  return " (held by the " + Decibels(hold.ceiling_dbtp, false) + " dBTP true-peak ceiling; " +
         Decibels(hold.wanted_db, true) + " dB would reach " + Decibels(hold.target_lufs, false) +
         " LUFS, the result is " +
         (hold.result_lufs ? Decibels(*hold.result_lufs, false) + " LUFS)" : "below the -70 LUFS gate)");
}

ProgressFn Reporter::Progress() const {
  if (!console_.show_progress || options_.json) return {};
  return [&console = console_](const char* pass, double done) {
    console.out << "\r" << pass << " " << static_cast<int>(done * 100) << "% " << std::flush;
  };
}

void Reporter::EndProgress() {
  if (console_.show_progress && !options_.json) console_.out << "\r";
}

void Reporter::Warn(const std::string& warning) {
  console_.err << "normalize: warning: " << options_.input << ": " << warning << "\n";
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

void Reporter::NotWritten(const Decision& decision, const Measured& measured) {
  if (!decision.why.empty()) {
    console_.out << options_.input << ": " << decision.why << "\n";
  } else if (options_.json) {
    console_.out << AnalysisJson(options_.input, *measured.loudness) << "\n";
  } else {
    console_.out << AnalysisText(options_.input, *measured.loudness) << "\n";
  }
}

void Reporter::Written(const Measured& measured, const Decision& decision, const WriteResult& result,
                       const SampleFormat& format) {
  EndProgress();
  // Where no scan came first, the write pass found the peak.
  if (!measured.peak) WarnNonFinite(result.before);
  const GainPlan& gain = *decision.gain;
  const Peak peak = ToPeak(measured.peak.value_or(result.before), format);
  const std::string head = measured.loudness ? LoudnessText(*measured.loudness) : "peak " + PeakText(peak);
  console_.out << head << ", gain " << Decibels(gain.db, true) << " dB"
               << (decision.ceiling ? CeilingText(*decision.ceiling) : "")
               << (gain.factor < 0 ? ", polarity inverted, " : ", ") << result.clipped << " clipped, "
               << Describe(format) << ", written to " << options_.output.value_or(options_.input) << "\n";
}

void Reporter::Failed(const Failure& failure) {
  if (console_.show_progress) console_.out << "\r" << std::flush;
  console_.err << "normalize: " << options_.input << ": " << failure.what() << "\n";
  if (options_.json) console_.out << AnalysisJsonFailure(options_.input, failure.what()) << "\n";
}

}  // namespace normalize
