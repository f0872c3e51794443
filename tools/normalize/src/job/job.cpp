#include "job/job.h"

#include <algorithm>

#include "cli/file_patterns.h"
#include "cli/input_folders.h"
#include "job/album.h"
#include "job/analysis_line.h"
#include "job/batch.h"
#include "job/file_steps.h"
#include "job/planner.h"
#include "job/reporter.h"
#include "job/target.h"
#include "loudness/loudness_plan.h"
#include "platform/paths.h"
#include "platform/processors.h"
#include "samples/stream_processor.h"
#include "wav/input_file.h"

namespace normalize {
namespace {

std::size_t BufferBytes(const Options& options) { return static_cast<std::size_t>(options.buffer_kb) * 1024; }

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

}  // namespace

OpenedFile OpenAndMeasure(const Options& options, const Planner& planner, Reporter& report,
                          const JobConsole& console) {
  OpenedFile file;
  const bool writes = planner.writes();
  if (writes) file.target = ReplaceableTarget(options.output.value_or(options.input));
  file.input = std::make_unique<InputFile>(options.input, console.map_input);
  file.layout = ReadWavLayout(*file.input);
  report.Layout(file.layout, writes);
  StreamProcessor processor(*file.input, file.layout, BufferBytes(options), report.Progress());
  file.measured = Measure(planner.measurement(), processor, file.layout.format);
  report.AfterMeasuring(file.measured, writes);
  return file;
}

WriteResult WriteAndReplace(const Options& options, OpenedFile& file, const GainPlan& gain,
                            const JobConsole& console, ProgressFn progress) {
  StreamProcessor processor(*file.input, file.layout, BufferBytes(options), std::move(progress));
  AtomicOutputFile output(file.target, console.write_hook);
  const WriteResult result = processor.Write(gain.factor, output);
  // Windows refuses to replace a file that is still open.
  file.input->Close();
  output.Commit();
  return result;
}

namespace {

// Open, measure, plan, write, report.
ExitCode Run(const Options& options, const Planner& planner, Reporter& report, const JobConsole& console) {
  OpenedFile file = OpenAndMeasure(options, planner, report, console);
  const Decision decision = HeldByThreshold(planner.Plan(file.measured, file.layout), options.abort_below_db);
  if (!decision.gain) {
    report.NotWritten(decision, file.measured);
    return decision.code;
  }
  const WriteResult result = WriteAndReplace(options, file, *decision.gain, console, report.Progress());
  report.Written(file.measured, decision, result, file.layout.format);
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

}  // namespace

ExitCode RunJob(const Options& options, JobConsole& console) {
  const std::unique_ptr<Planner> planner = PlannerFor(options);
  std::vector<std::string> files;
  ExitCode worst = ExitCode::kOk;
  for (const std::string& input : options.inputs.empty() ? std::vector<std::string>{options.input}
                                                        : options.inputs) {
    const bool folder = platform::Inspect(input).folder;
    const std::vector<std::string> matches = folder ? WavFilesIn(input, options.recursive) : ExpandFilePattern(input);
    if (matches.empty()) {
      const char* why = folder ? "no WAV file in this folder" : "no file matches";
      console.err << "normalize: " << input << ": " << why << "\n";
      if (options.json) console.out << AnalysisJsonFailure(input, why) << "\n";
      worst = Worse(worst, ExitCode::kInput);
    }
    files.insert(files.end(), matches.begin(), matches.end());
  }
  if (options.output && files.size() > 1) {
    console.err << "normalize: -o takes a single input file; the inputs name " << files.size() << "\n";
    return ExitCode::kUsage;
  }
  // A file named twice (again, through a link, or by a pattern or folder too)
  // is worked on once: a second gain on top of the first would damage it.
  // Known before the first result replaces a file and gives it a new identity.
  std::vector<std::string> identities;
  for (const std::string& file : files) identities.push_back(platform::Inspect(file).identity);
  std::vector<std::string> once;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto first = std::find(identities.begin(), identities.end(), identities[i]);
    if (!options.analyze && !identities[i].empty() && first != identities.begin() + static_cast<std::ptrdiff_t>(i)) {
      console.err << "normalize: warning: " << files[i] << " is the same file as "
                  << files[static_cast<std::size_t>(first - identities.begin())] << "; it is worked on once\n";
      continue;
    }
    once.push_back(files[i]);
  }
  const unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs) : platform::ProcessorCount();
  if (options.album) return once.empty() ? worst : Worse(worst, RunAlbum(options, *planner, once, jobs, console));
  const auto run_one = [&](std::size_t i, JobConsole& own) {
    Options one = options;
    one.input = once[i];
    return RunOne(one, *planner, own);
  };
  if (once.size() == 1) return Worse(worst, run_one(0, console));
  return Worse(worst, RunBatch(once, jobs, console, run_one));
}

}  // namespace normalize
