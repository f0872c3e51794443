#include "job/file_steps.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "job/decibels.h"
#include "job/output_dir.h"
#include "job/target.h"
#include "job/written_result.h"
#include "loudness/file_measurement.h"
#include "output/same_bytes.h"
#include "platform/paths.h"

namespace normalize {
namespace {

constexpr char kReplaced[] =
    "replaced or changed by another program after it was measured; its new content is left as it is and nothing "
    "was written";

std::size_t BufferBytes(const Options& options) { return static_cast<std::size_t>(options.buffer_kb) * 1024; }

std::unique_ptr<InputFile> Open(const FileJob& job, const Options& options) {
  return std::make_unique<InputFile>(job.input, job.console.map_input, !options.dry_run);
}

// A result silent where the input was not, from a gain no measurement
// foretold (-a, -l), is not put in place.
void RefuseSilenced(const FileJob& job, const WriteResult& result, double factor) {
  const SampleFormat& format = job.layout.format;
  const bool silent = result.after.min == 0 && result.after.max == 0;
  if (format.is_float() || !silent || (result.before.min == 0 && result.before.max == 0)) return;
  const double peak = ToPeak(result.before, format).magnitude();
  throw Failure(ExitCode::kBeyondFormat, "a gain of " + Decibels(GainOf(factor).db, true) +
                                             " dB rounds every sample of a file peaking at " +
                                             Decibels(20 * std::log10(peak), false) + " dBFS to silence in " +
                                             Describe(format) + " (the quietest gain that keeps it is " +
                                             Decibels(QuietestKeepingDb(peak, format), true) +
                                             " dB); file left untouched");
}

}  // namespace

void OpenAndMeasure(FileJob& job, const Options& options, const Planner& planner, Reporter& report) {
  const bool writes = planner.writes();
  if (writes) job.target = ReplaceableTarget(job.output);
  if (!job.file) OpenLocked(job, options);
  job.layout = ReadWavLayout(*job.file);
  report.Layout(job.layout, writes);
  job.measured = planner.Measure(*job.file, job.layout, BufferBytes(options), job.threads, report.Progress());
  report.AfterMeasuring(job.measured, writes);
}

void OpenLocked(FileJob& job, const Options& options) {
  job.file = Open(job, options);
  job.identity = job.file->identity();
}

void Reopen(FileJob& job, const Options& options) {
  if (job.target.empty()) job.target = ReplaceableTarget(job.output);
  job.file = Open(job, options);
  if (job.file->identity() != job.identity) {
    job.file.reset();
    CheckStillMeasured(job);
    throw Failure(ExitCode::kInput, kReplaced);
  }
  if (job.layout.chunks.empty()) job.layout = ReadWavLayout(*job.file);
}

void CheckStillMeasured(const FileJob& job) {
  const std::optional<platform::FileIdentity> now = platform::IdentityOf(job.input);
  if (!now) {
    throw Failure(ExitCode::kInput, "deleted or moved away after it was measured; nothing written (a file that is "
                                    "gone is not made anew)");
  }
  if (*now != job.identity) {
    throw Failure(ExitCode::kInput, kReplaced);
  }
}

WriteResult WriteAndReplace(FileJob& job, const Options& options, const WritePlan& plan, std::size_t member,
                            ProgressFn progress, const ReplaceSteps& steps) {
  if (!job.file) Reopen(job, options);
  StreamProcessor processor(*job.file, job.layout, BufferBytes(options), std::move(progress));
  WrittenResult written = PlanWrittenResult(job, options, processor, plan, member);
  job.written_figures = written.figures;
  if (written.factor != plan.gain.factor) job.written_gain = GainOf(written.factor);
  const bool bext_changes = written.figures && RefreshBext(processor, job.layout, *written.figures);
  if (options.output_dir && !options.output) MakeOutputFolders(job.target);
  AtomicOutputFile output(job.target, job.console.write_hook);
  // Under --output-dir a rerun finds its results there already.
  std::optional<SameBytesCheck> same;
  if (options.output_dir && platform::Inspect(job.target).exists) same.emplace(output, job.target);
  ByteSink& sink = same ? static_cast<ByteSink&>(*same) : output;
  const WriteResult result = processor.Write(written.factor, sink, written.dither ? &*written.dither : nullptr,
                                             written.limit ? &*written.limit : nullptr);
  job.limiting = result.limited;
  RefuseSilenced(job, result, written.factor);
  // Windows refuses to replace a file that is still open.
  job.file->Close();
  const bool unchanged_in_place = !result.samples_changed && !bext_changes && job.output == job.input;
  if ((same && same->Same()) || unchanged_in_place) {
    // Nothing to put in place: the file stays as it was, its time too (the temporary goes with `output`).
    job.result_was_there = same && same->Same();
    job.unchanged = unchanged_in_place;
    job.file.reset();
    return result;
  }
  output.Commit(
      [&] {
        if (job.console.before_replace) job.console.before_replace(job.input);
        CheckStillMeasured(job);
        if (!steps.before) return;
        const auto result = output.identity();
        if (!result) throw Failure(ExitCode::kOutput, "cannot tell the result's file apart; nothing written");
        steps.before(*result);
      },
      steps.in_place);
  job.file.reset();
  return result;
}

void PlanWithoutWriting(FileJob& job, const Options& options, const WritePlan& plan, std::size_t member) {
  if (!job.measured.peak && !job.measured.loudness) {
    // A gain no measurement foretold (-a, -l): the writing refuses a result it
    // rounds to silence, and so does its dry run, having read the peak.
    const SampleFormat& format = job.layout.format;
    if (options.dither && DitherApplies(format, plan.gain.factor)) return;
    if (!job.file) Reopen(job, options);
    WriteResult would;
    would.before = ScanPeakOf(*job.file, job.layout, BufferBytes(options), job.threads, {});
    if (GainSilences(plan.gain, ToPeak(would.before, format).magnitude(), format)) {
      RefuseSilenced(job, would, plan.gain.factor);
    }
    return;
  }
  if (!plan.limit && !plan.ChecksWrittenLoudness(job.layout.format)) return;
  if (!job.file) Reopen(job, options);
  StreamProcessor processor(*job.file, job.layout, BufferBytes(options));
  const WrittenResult written = PlanWrittenResult(job, options, processor, plan, member);
  job.written_figures = written.figures;
  if (written.factor != plan.gain.factor) job.written_gain = GainOf(written.factor);
  job.limiting = written.limiting;
}

void PassOn(FileJob& job, JobConsole& console) {
  console.err << job.err.str();
  // What the output's failure says is its own errno, not an earlier call's.
  errno = 0;
  console.out << job.out.str() << std::flush;
  const int error = errno ? errno : EIO;
  job.err.str("");
  job.out.str("");
  if (console.report && !job.report_lines.empty()) console.report->Add(job.report_lines);
  job.report_lines.clear();
  if (!console.out && console.stop_run) console.stop_run(std::string("cannot write the output: ") + std::strerror(error));
}

}  // namespace normalize
