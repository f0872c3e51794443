#include "job/run_report.h"

#include <string>

#include "cli/json_writer.h"
#include "job/batch.h"

namespace normalize {
namespace {

// What the page says of the run as a whole.
std::string RunJson(const Options& options, const Planner& planner) {
  std::string command;
  for (const std::string& argument : options.arguments) command += (command.empty() ? "" : " ") + argument;
  return JsonObject()
      .String("command", command)
      .String("mode", planner.ModeName())
      .Number("target_lufs", planner.TargetLufs())
      .Number("ceiling_dbtp", options.true_peak_dbtp)
      .Bool("dry_run", options.dry_run)
      .Text();
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
