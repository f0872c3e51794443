#include "job/job.h"

#include <algorithm>

#include "cli/file_patterns.h"
#include "job/analysis_line.h"
#include "job/planner.h"
#include "job/reporter.h"
#include "job/target.h"
#include "loudness/loudness_plan.h"
#include "platform/paths.h"
#include "samples/stream_processor.h"
#include "wav/input_file.h"

namespace normalize {
namespace {

Measured Measure(Measurement measurement, StreamProcessor& processor, const SampleFormat& format) {
  switch (measurement) {
    case Measurement::kNothing: return {};
    case Measurement::kPeak: return Measured{processor.ScanPeak(), std::nullopt};
    case Measurement::kLoudness:
    case Measurement::kLoudnessAndCeilingPeak:
      return Measured{std::nullopt,
                      MeasureLoudness(processor, format, measurement == Measurement::kLoudnessAndCeilingPeak)};
  }
  return {};
}

// Open, measure, plan, write, report.
ExitCode Run(const Options& options, const Planner& planner, Reporter& report, const JobConsole& console) {
  const bool writes = planner.writes();
  const std::string target = writes ? ReplaceableTarget(options.output.value_or(options.input)) : "";
  InputFile input(options.input, console.map_input);
  const WavLayout layout = ReadWavLayout(input);
  report.Layout(layout, writes);
  StreamProcessor processor(input, layout, static_cast<std::size_t>(options.buffer_kb) * 1024, report.Progress());
  const Measured measured = Measure(planner.measurement(), processor, layout.format);
  report.AfterMeasuring(measured, writes);
  const Decision decision = HeldByThreshold(planner.Plan(measured, layout), options.abort_below_db);
  if (!decision.gain) {
    report.NotWritten(decision, measured);
    return decision.code;
  }
  AtomicOutputFile output(target, console.write_hook);
  const WriteResult result = processor.Write(decision.gain->factor, output);
  // Windows refuses to replace a file that is still open.
  input.Close();
  output.Commit();
  report.Written(measured, decision, result, layout.format);
  return ExitCode::kOk;
}

ExitCode RunOne(const Options& options, const Planner& planner, JobConsole& console) {
  Reporter report(options, console);
  try {
    return Run(options, planner, report, console);
  } catch (const Failure& failure) {
    report.Failed(failure);
    return failure.code();
  }
}

// Failures outrank files left alone, which outrank success; of two alike,
// the higher code.
int Severity(ExitCode code) {
  switch (code) {
    case ExitCode::kOk: return 0;
    case ExitCode::kBelowThreshold:
    case ExitCode::kSilent:
    case ExitCode::kBelowGate: return 1;
    default: return 2;
  }
}

ExitCode Worse(ExitCode a, ExitCode b) {
  if (Severity(a) != Severity(b)) return Severity(a) > Severity(b) ? a : b;
  return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

}  // namespace

ExitCode RunJob(const Options& options, JobConsole& console) {
  const std::unique_ptr<Planner> planner = PlannerFor(options);
  std::vector<std::string> files;
  ExitCode worst = ExitCode::kOk;
  for (const std::string& pattern : options.inputs.empty() ? std::vector<std::string>{options.input}
                                                          : options.inputs) {
    const std::vector<std::string> matches = ExpandFilePattern(pattern);
    if (matches.empty()) {
      console.err << "normalize: " << pattern << ": no file matches\n";
      if (options.json) console.out << AnalysisJsonFailure(pattern, "no file matches") << "\n";
      worst = Worse(worst, ExitCode::kInput);
    }
    files.insert(files.end(), matches.begin(), matches.end());
  }
  if (options.output && files.size() > 1) {
    console.err << "normalize: -o takes a single input file; the pattern matches " << files.size() << "\n";
    return ExitCode::kUsage;
  }
  // A file named twice (again, through a link, or by a pattern too) is worked
  // on once: a second gain on top of the first would damage it. Known before
  // the first result replaces a file and gives it a new identity.
  std::vector<std::string> identities;
  for (const std::string& file : files) identities.push_back(platform::Inspect(file).identity);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i];
    const auto first = std::find(identities.begin(), identities.end(), identities[i]);
    if (!options.analyze && !identities[i].empty() && first != identities.begin() + static_cast<std::ptrdiff_t>(i)) {
      console.err << "normalize: warning: " << file << " is the same file as " << files[first - identities.begin()]
                  << "; it is worked on once\n";
      continue;
    }
    Options one = options;
    one.input = file;
    worst = Worse(worst, RunOne(one, *planner, console));
  }
  return worst;
}

}  // namespace normalize
