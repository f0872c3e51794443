#include "job/run_report.h"

#include <string>

#include "job/analysis_line.h"
#include "job/batch.h"
#include "job/decibels.h"

namespace normalize {
namespace {

std::string Number(const std::optional<double>& value) { return value ? Fixed(*value, 3) : "null"; }

// What the page says of the run as a whole.
std::string RunJson(const Options& options, const Planner& planner) {
  std::string command;
  for (const std::string& argument : options.arguments) command += (command.empty() ? "" : " ") + argument;
  return "{\"command\":" + JsonString(command) + ",\"mode\":\"" + planner.ModeName() + "\",\"target_lufs\":" +
         Number(planner.TargetLufs()) +
         ",\"ceiling_dbtp\":" + Number(options.true_peak_dbtp) + ",\"dry_run\":" + (options.dry_run ? "true" : "false") +
         "}";
}

}  // namespace

RunReport::RunReport(const Options& options, const Planner& planner, std::size_t files, JobConsole& console)
    : console_(console) {
  if (!options.report) return;
  try {
    page_.emplace(*options.report, RunJson(options, planner), files);
    console.report = &*page_;
  } catch (const Failure& failure) {
    console.err << "normalize: " << failure.what() << "\n";
    begun_ = false;
  }
}

RunReport::~RunReport() { console_.report = nullptr; }

ExitCode RunReport::Finish(ExitCode code) {
  if (!page_) return code;
  console_.report = nullptr;
  try {
    page_->Finish();
  } catch (const Failure& failure) {
    console_.err << "normalize: " << failure.what() << "\n";
    return Worse(code, failure.code());
  }
  return code;
}

}  // namespace normalize
