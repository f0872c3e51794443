#pragma once
// --report: one HTML page of the whole run, made as the run goes. It holds
// nothing from outside (no network, no other file): the styles, the script
// that lays out the table and draws the graphs, and each file's record, one
// line each, in the order the files were named.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "output/atomic_output.h"

namespace normalize {

class ReportPage {
 public:
  // Written beside `path` and put in its place by Finish. `run_json`: what
  // the page says of the run as a whole, one JSON object ("command", "mode",
  // "target_lufs", "ceiling_dbtp", "dry_run"); `files`: how many the run
  // names, which sets the graphs' detail. Throws Failure (output) when the
  // page cannot be begun.
  ReportPage(const std::string& path, const std::string& run_json, std::size_t files);

  // One line of the page's data: `json`, the file's (or album's) --json
  // object, and the loudness history of the file as measured, where there is
  // one. The gain of a writing run moves it for the graph of the result.
  std::string Line(const std::string& json, const std::vector<double>* segment_powers = nullptr) const;
  // Lines made by Line, in the order the run names its files.
  void Add(const std::string& lines);

  // The end of the page, and the page in its place. Throws Failure (output).
  void Finish();

  const std::string& path() const { return path_; }

 private:
  void Write(const std::string& text);

  std::string path_;
  std::size_t points_;
  std::unique_ptr<AtomicOutputFile> file_;
};

// `json` made safe inside an HTML script element: every '<' as \u003c, which
// JSON reads as the same character.
std::string ScriptSafe(const std::string& json);

}  // namespace normalize
