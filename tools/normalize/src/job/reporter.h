#pragma once
// Everything the run of one file tells the user, in the order it happens:
// progress, warnings, and one closing line (what was written, why the file
// was left as it is, what a dry run would write, the --analyze figures, or
// the failure), as text or, with --json, as one JSON object.
#include <string>

#include "cli/command_line.h"
#include "job/job.h"
#include "job/planner.h"
#include "samples/stream_processor.h"

namespace normalize {

struct FileJob;

// " (held by the -1.00 dBTP true-peak ceiling; ...)": how the ceiling held the
// gain back, and where the loudness ends up.
std::string CeilingText(const CeilingHold& hold);
// ", limited by up to 2.31 dB on 4.2 % of its length": what --limit's
// limiter took, and how far short of the target a file that needed more is.
std::string LimitText(const LimitPlan& limit, const std::optional<LimiterReport>& limiting,
                      std::optional<double> target_lufs, const std::optional<LoudnessFigures>& written);

// An album's own line, before its files': what was measured of them together
// and the one gain, or why they are left as they are; as text or JSON.
// `json`: the JSON object, which --report records, whether or not --json prints it.
// `limited`: --limit's part of the line: its text, or with `json` the
// "limited_files" array (see AlbumLimitText, AlbumLimitJson).
std::string GroupLine(const Options& options, std::size_t files, const Decision& decision, bool json,
                      const std::string& limited = "");

class Reporter {
 public:
  Reporter(const Options& options, FileJob& job) : options_(options), job_(job) {}

  // Shows each pass's share done, where the console is a terminal.
  ProgressFn Progress() const;

  // `writing`: the run means to write a result (it may still leave the file alone).
  void Layout(const WavLayout& layout, bool writing);
  void AfterMeasuring(const Measured& measured, bool writing);
  // The reason, or for --analyze the figures; `text` false: the JSON line
  // and the report's record only (an album's line said it for every file).
  void NotWritten(const Decision& decision, bool text = true);
  void Written(const Decision& decision, const WriteResult& result);
  // What a real run would have written.
  void WouldWrite(const Decision& decision);
  void Failed(const Failure& failure);

 private:
  // The file's JSON object: printed with --json, recorded with --report.
  // True when printed, which takes the text line's place.
  bool Json(const std::string& json);
  void Warn(const std::string& warning);
  void WarnNonFinite(const PeakTracker& peak);
  void WarnNonFinite(const LoudnessFigures& figures, bool writing);
  void EndProgress();
  // Names as each stream shows them.
  std::string OutName(const std::string& name) const;
  std::string ErrName() const;
  // The file's own figures as measured (or as the write pass found them).
  std::string Figures(const WriteResult* result) const;
  std::string GainText(const Decision& decision) const;
  void WarnLargeGain(const Decision& decision, const WriteResult* result, bool written);

  const Options& options_;
  FileJob& job_;
};

}  // namespace normalize
