#include "job/job.h"

#include "cli/run_inputs.h"
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
  const std::vector<RunInput> inputs =
      ExpandInputs(options.inputs.empty() ? std::vector<std::string>{options.input} : options.inputs, options.recursive);
  std::vector<std::string> files;
  for (const RunInput& input : inputs) {
    if (!input.notice()) files.push_back(input.file);
  }
  if (options.output && files.size() > 1) {
    console.err << "normalize: -o takes a single input file; the inputs name " << files.size() << "\n";
    return ExitCode::kUsage;
  }
  const auto say = [&](const RunInput& notice, JobConsole& own) {
    own.err << notice.message << "\n";
    if (options.json && !notice.reason.empty()) own.out << AnalysisJsonFailure(notice.name, notice.reason) << "\n";
    return notice.code;
  };
  const unsigned jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs) : platform::ProcessorCount();
  if (options.album) {
    ExitCode worst = ExitCode::kOk;
    for (const RunInput& input : inputs) {
      if (input.notice()) worst = Worse(worst, say(input, console));
    }
    return files.empty() ? worst : Worse(worst, RunAlbum(options, *planner, files, jobs, console));
  }
  // The per-file copies need not carry every name.
  Options each = options;
  each.inputs.clear();
  const auto run_one = [&](std::size_t i, JobConsole& own) {
    if (inputs[i].notice()) return say(inputs[i], own);
    Options one = each;
    one.input = inputs[i].file;
    return RunOne(one, *planner, own);
  };
  if (files.size() <= 1) {
    ExitCode worst = ExitCode::kOk;
    for (std::size_t i = 0; i < inputs.size(); ++i) worst = Worse(worst, run_one(i, console));
    return worst;
  }
  std::vector<std::string> names;
  for (const RunInput& input : inputs) names.push_back(input.notice() ? input.name : input.file);
  return RunBatch(names, jobs, console, run_one);
}

}  // namespace normalize
