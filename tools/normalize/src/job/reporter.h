#pragma once
// Everything the run of one file tells the user, in the order it happens:
// progress, warnings, and one closing line (the summary of what was written,
// why the file was left alone, the --analyze figures as text or JSON, or the
// failure).
#include <string>

#include "job/job.h"
#include "job/planner.h"
#include "samples/stream_processor.h"

namespace normalize {

// "loudness -23.00 LUFS, true peak -1.20 dBTP"
std::string LoudnessText(const LoudnessFigures& figures);
// " (held by the -1.00 dBTP true-peak ceiling; ...)": how the ceiling held the
// gain back, and where the loudness ends up.
std::string CeilingText(const CeilingHold& hold);

class Reporter {
 public:
  Reporter(const Options& options, JobConsole& console) : options_(options), console_(console) {}

  // Shows each pass's share done, where the console is a terminal.
  ProgressFn Progress() const;

  // `writing`: the run means to write a result (it may still leave the file alone).
  void Layout(const WavLayout& layout, bool writing);
  void AfterMeasuring(const Measured& measured, bool writing);
  // The reason, or for --analyze the figures.
  void NotWritten(const Decision& decision, const Measured& measured);
  void Written(const Measured& measured, const Decision& decision, const WriteResult& result,
               const SampleFormat& format);
  void Failed(const Failure& failure);

 private:
  void Warn(const std::string& warning);
  void WarnNonFinite(const PeakTracker& peak);
  void WarnNonFinite(const LoudnessFigures& figures, bool writing);
  void EndProgress();

  const Options& options_;
  JobConsole& console_;
};

}  // namespace normalize
