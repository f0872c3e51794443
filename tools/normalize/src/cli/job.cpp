#include "cli/job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/file_patterns.h"
#include "loudness/loudness_plan.h"
#include "loudness/loudness_report.h"
#include "platform/paths.h"
#include "samples/gain_plan.h"
#include "samples/stream_processor.h"
#include "wav/input_file.h"
#include "wav/wav_format.h"

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

// The file the result is to replace, where a symbolic link leads; refused
// unless replacing it loses nothing the user has set up.
std::string ReplaceableTarget(const std::string& path) {
  const platform::PathInfo info = platform::Inspect(path);
  if (!info.exists) return path;
  if (!info.regular) {
    throw Failure(ExitCode::kOutput, "cannot write the result to '" + path +
                                         "': it is not a regular file (a folder, device, pipe or broken link)");
  }
  if (info.read_only) {
    throw Failure(ExitCode::kOutput, "cannot replace '" + path +
                                         "': it is read-only; it is left as it is (make it writable, or "
                                         "choose another output file with -o)");
  }
  if (info.links > 1) {
    throw Failure(ExitCode::kOutput, "cannot replace '" + path + "': it has " + std::to_string(info.links) +
                                         " hard links, which would keep the old audio; it is left as it is "
                                         "(choose another output file with -o)");
  }
  return info.real_path;
}

void Warn(const std::string& file, const std::string& warning, JobConsole& console) {
  console.err << "normalize: warning: " << file << ": " << warning << "\n";
}

// `writing`: the run means to write a result (it may still leave the file alone).
void WarnAboutLayout(const std::string& file, const WavLayout& layout, bool writing, JobConsole& console) {
  for (const LayoutWarning& warning : layout.warnings) Warn(file, WarningText(warning, writing), console);
}

void WarnNonFinite(const std::string& file, const PeakTracker& tracker, JobConsole& console) {
  if (tracker.non_finite == 0) return;
  Warn(file, std::to_string(tracker.non_finite) +
                 " samples are NaN or infinite; they are left out of the peak and kept as they are in the result",
       console);
}

void WarnNonFinite(const std::string& file, const LoudnessFigures& figures, bool writing, JobConsole& console) {
  if (figures.non_finite == 0) return;
  Warn(file, std::to_string(figures.non_finite) + " samples are NaN or infinite; the loudness measures them as silence" +
                 (writing ? " and they will be kept as they are in the result" : ""),
       console);
}

std::string LoudnessText(const LoudnessFigures& figures) {
  const auto true_peak = DecibelsOf(figures.true_peak);
  return "loudness " + Decibels(figures.integrated_lufs.value_or(-HUGE_VAL), false) + " LUFS, true peak " +
         (true_peak ? Decibels(*true_peak, false) : "-inf") + " dBTP";
}

// Says how the ceiling held the gain back, and where the loudness ends up.
std::string CeilingText(const Options& options, const LoudnessGain& gain) {
  if (!gain.held_by_ceiling) return "";
  return " (held by the " + Decibels(*options.true_peak_dbtp, false) + " dBTP true-peak ceiling; " +
         Decibels(gain.wanted_db, true) + " dB would reach " + Decibels(options.loudness_lufs, false) +
         " LUFS, the result is " +
         (gain.result_lufs ? Decibels(*gain.result_lufs, false) + " LUFS)" : "below the -70 LUFS gate)");
}

const char* NoLoudnessReason(const WavLayout& layout, const LoudnessFigures& figures) {
  if (!(figures.sample_peak > 0)) return "silent";
  const std::uint64_t frames = layout.chunks[layout.data].size / layout.format.block_align;
  if (frames * 10 < std::uint64_t{layout.format.sample_rate} * 4) return "shorter than one 400 ms block";
  return "below the -70 LUFS gate";
}

GainPlan FixedPlan(const Options& options) {
  return options.mode == Mode::kRatio ? RatioGain(options.value) : LevelGain(options.value);
}

ExitCode Run(const Options& options, JobConsole& console) {
  const std::string target = ReplaceableTarget(options.output ? *options.output : options.input);
  InputFile input(options.input, console.map_input);
  const WavLayout layout = ReadWavLayout(input);
  WarnAboutLayout(options.input, layout, true, console);

  ProgressFn progress;
  if (console.show_progress) {
    progress = [&console](const char* pass, double done) {
      console.out << "\r" << pass << " " << static_cast<int>(done * 100) << "% " << std::flush;
    };
  }
  StreamProcessor processor(input, layout, static_cast<std::size_t>(options.buffer_kb) * 1024,
                            progress);

  std::optional<Peak> scanned;
  std::optional<LoudnessFigures> loudness;
  std::optional<LoudnessGain> loudness_gain;
  GainPlan plan;
  if (options.mode == Mode::kLoudness) {
    loudness = MeasureLoudness(processor, layout.format, options.true_peak_dbtp.has_value());
    if (console.show_progress) console.out << "\r";
    WarnNonFinite(options.input, *loudness, true, console);
    loudness_gain = LoudnessGainFor(options.loudness_lufs, options.true_peak_dbtp, loudness->block_powers,
                                    {CeilingPeak{loudness->ceiling_peak, layout.format}});
    if (!loudness_gain) {
      console.out << options.input << ": " << NoLoudnessReason(layout, *loudness)
                  << "; no loudness to normalize, file left untouched\n";
      return ExitCode::kBelowGate;
    }
    plan = loudness_gain->plan;
  } else if (options.mode == Mode::kPercent) {
    const PeakTracker tracker = processor.ScanPeak();
    if (console.show_progress) console.out << "\r";
    WarnNonFinite(options.input, tracker, console);
    scanned = ToPeak(tracker, layout.format);
    if (TooQuietToRaise(*scanned)) {
      console.out << options.input << ": peak " << PeakText(*scanned) << " is below "
                  << kQuietestRaisedPeakDb << " dBFS, the quietest -m raises; file left untouched\n";
      return ExitCode::kSilent;
    }
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

  AtomicOutputFile output(target, console.write_hook);
  const WriteResult result = processor.Write(plan.factor, output);
  // Windows refuses to replace a file that is still open.
  input.Close();
  output.Commit();
  if (console.show_progress) console.out << "\r";

  if (!scanned) WarnNonFinite(options.input, result.before, console);
  const Peak before = scanned ? *scanned : ToPeak(result.before, layout.format);
  console.out << (loudness ? LoudnessText(*loudness) : "peak " + PeakText(before)) << ", gain "
              << Decibels(plan.db, true) << " dB"
              << (loudness ? CeilingText(options, *loudness_gain) : "")
              << (plan.factor < 0 ? ", polarity inverted, " : ", ") << result.clipped << " clipped, "
              << Describe(layout.format) << ", written to "
              << (options.output ? *options.output : options.input) << "\n";
  return ExitCode::kOk;
}

// --analyze: one line of figures; nothing written.
ExitCode Analyze(const Options& options, JobConsole& console) {
  InputFile input(options.input, console.map_input);
  const WavLayout layout = ReadWavLayout(input);
  WarnAboutLayout(options.input, layout, false, console);
  ProgressFn progress;
  if (console.show_progress && !options.json) {
    progress = [&console](const char* pass, double done) {
      console.out << "\r" << pass << " " << static_cast<int>(done * 100) << "% " << std::flush;
    };
  }
  StreamProcessor processor(input, layout, static_cast<std::size_t>(options.buffer_kb) * 1024, progress);
  const LoudnessFigures figures = MeasureLoudness(processor, layout.format);
  if (progress) console.out << "\r";
  WarnNonFinite(options.input, figures, false, console);
  console.out << (options.json ? AnalysisJson(options.input, figures) : AnalysisText(options.input, figures))
              << "\n";
  return figures.integrated_lufs ? ExitCode::kOk : ExitCode::kBelowGate;
}

ExitCode RunOne(const Options& options, JobConsole& console) {
  try {
    return options.analyze ? Analyze(options, console) : Run(options, console);
  } catch (const Failure& failure) {
    if (console.show_progress) console.out << "\r" << std::flush;
    console.err << "normalize: " << options.input << ": " << failure.what() << "\n";
    if (options.json) console.out << AnalysisJsonFailure(options.input, failure.what()) << "\n";
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
    worst = Worse(worst, RunOne(one, console));
  }
  return worst;
}

}  // namespace normalize
