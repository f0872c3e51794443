#include "job.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "gain_plan.h"
#include "input_file.h"
#include "stream_processor.h"
#include "wav_format.h"

namespace normalize {
namespace {

std::string Decibels(double db, bool sign) {
  if (std::isinf(db)) return db < 0 ? "-inf" : "+inf";
  if (std::fabs(db) < 0.005) db = 0;  // no "-0.00"
  char text[32];
  std::snprintf(text, sizeof text, sign ? "%+.2f" : "%.2f", db);
  return text;
}

std::string PeakText(const Peak& peak) {
  const double magnitude = peak.magnitude();
  return magnitude > 0 ? Decibels(20 * std::log10(magnitude), false) + " dBFS" : "silence";
}

GainPlan FixedPlan(const Options& options) {
  return options.mode == Mode::kRatio ? RatioGain(options.value) : LevelGain(options.value);
}

ExitCode Run(const Options& options, JobConsole& console) {
  InputFile input(options.input, console.map_input);
  const WavLayout layout = ReadWavLayout(input);
  for (const std::string& warning : layout.warnings) {
    console.err << "normalize: warning: " << warning << "\n";
  }

  ProgressFn progress;
  if (console.show_progress) {
    progress = [&console](const char* pass, double done) {
      console.out << "\r" << pass << " " << static_cast<int>(done * 100) << "% " << std::flush;
    };
  }
  StreamProcessor processor(input, layout, static_cast<std::size_t>(options.buffer_kb) * 1024,
                            progress);

  std::optional<Peak> scanned;
  GainPlan plan;
  if (options.mode == Mode::kPercent) {
    scanned = ToPeak(processor.ScanPeak(), layout.format);
    if (console.show_progress) console.out << "\r";
    const auto percent_plan = PercentGain(options.value, *scanned, layout.format);
    if (!percent_plan) {
      console.out << options.input << ": silent; nothing to normalize, file left untouched\n";
      return ExitCode::kSilent;
    }
    plan = *percent_plan;
  } else {
    plan = FixedPlan(options);
  }

  if (options.abort_below_db && BelowThreshold(plan, *options.abort_below_db)) {
    console.out << options.input << ": gain " << Decibels(plan.db, true) << " dB is below -x "
                << *options.abort_below_db << " dB; file left untouched\n";
    return ExitCode::kBelowThreshold;
  }

  const std::string& target = options.output ? *options.output : options.input;
  AtomicOutputFile output(target, console.write_hook);
  const WriteResult result = processor.Write(plan.factor, output);
  // Windows refuses to replace a file that is still open.
  input.Close();
  output.Commit();
  if (console.show_progress) console.out << "\r";

  const Peak before = scanned ? *scanned : ToPeak(result.before, layout.format);
  console.out << "peak " << PeakText(before) << ", gain " << Decibels(plan.db, true) << " dB, "
              << result.clipped << " clipped, " << Describe(layout.format) << ", written to "
              << target << "\n";
  return ExitCode::kOk;
}

}  // namespace

ExitCode RunJob(const Options& options, JobConsole& console) {
  try {
    return Run(options, console);
  } catch (const Failure& failure) {
    if (console.show_progress) console.out << "\r" << std::flush;
    console.err << "normalize: " << options.input << ": " << failure.what() << "\n";
    return failure.code();
  }
}

}  // namespace normalize
