#include "report/report_page.h"

#include "cli/json_writer.h"
#include "failure.h"
#include "report/loudness_history.h"
#include "report/report_assets.h"

namespace normalize {

std::string ScriptSafe(const std::string& json) {
  std::string safe;
  safe.reserve(json.size());
  for (const char c : json) {
    if (c == '<') {
      safe += "\\u003c";
    } else {
      safe += c;
    }
  }
  return safe;
}

ReportPage::ReportPage(const std::string& path, const std::string& run_json, std::size_t files)
    : path_(path), points_(HistoryPointsFor(files)) {
  try {
    file_ = std::make_unique<AtomicOutputFile>(path);
  } catch (const Failure& failure) {
    throw Failure(ExitCode::kOutput, "--report " + path + ": " + failure.what());
  }
  Write(kReportHead);
  Write(ScriptSafe(run_json));
  Write(kReportData);
}

std::string ReportPage::Line(const std::string& json, const std::vector<double>* segment_powers) const {
  JsonObject line;
  line.Raw("j", json);
  if (segment_powers && !segment_powers->empty()) {
    const LoudnessHistory history = HistoryOf(*segment_powers, points_);
    line.Number("step", history.step_seconds, 4).String("s", history.short_term).String("m", history.momentary);
  }
  return ScriptSafe(line.Text() + "\n");
}

void ReportPage::Add(const std::string& lines) { Write(lines); }

void ReportPage::Finish() {
  Write(kReportTail);
  try {
    file_->Commit();
  } catch (const Failure& failure) {
    throw Failure(ExitCode::kOutput, "--report " + path_ + ": " + failure.what());
  }
}

void ReportPage::Write(const std::string& text) {
  try {
    file_->Write(text.data(), text.size());
  } catch (const Failure& failure) {
    throw Failure(ExitCode::kOutput, "--report " + path_ + ": " + failure.what());
  }
}

}  // namespace normalize
