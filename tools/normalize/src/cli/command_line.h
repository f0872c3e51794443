#pragma once
// The tool's arguments: what the front end composes (one of -l/-a/-m first,
// then -b, -o, -x, the input file last) and the same in any order; the
// loudness options and several input files for people and scripts.
#include <optional>
#include <string>
#include <vector>

namespace normalize {

enum class Mode { kRatio, kLevel, kPercent, kLoudness };

struct Options {
  bool help = false;
  bool version = false;  // --version: the version, shared with Quilbo.exe's
  Mode mode = Mode::kPercent;
  int value = 100;  // the ratio, the level in dB or the percentage
  double loudness_lufs = -23;           // --loudness: the target
  std::optional<double> true_peak_dbtp;  // --true-peak: the ceiling
  bool limit = false;                    // --limit: peaks over the ceiling limited, not the gain held back
  double limit_depth_db = 6;             // --limit-depth: the most the limiter takes away
  bool analyze = false;                 // --analyze: measure and write nothing
  bool json = false;                    // --json: each file's line as a JSON object
  bool dry_run = false;                 // -n: measure and plan, write and lock nothing
  int buffer_kb = 64;
  std::optional<std::string> output;
  std::optional<int> abort_below_db;
  bool album = false;      // --album: every file named is one album, one gain for all
  bool album_per_folder = false;  // --album=folder: the files of each folder are an album
  bool recursive = false;  // -r: folders' subfolders too
  int jobs = 0;            // -j: files worked on at once; 0: one per processor
  bool dither = true;      // --dither tpdf (the default) or none
  std::optional<std::string> report;  // --report: the HTML page of the run
  std::optional<std::string> output_dir;  // --output-dir: results under this folder, inputs untouched
  std::vector<std::string> inputs;  // as given (patterns and folders not yet expanded)
  std::vector<std::string> arguments;  // the whole command line, as given
};

// Throws Failure with the usage exit code on anything it does not accept.
Options ParseCommandLine(const std::vector<std::string>& args);

const char* UsageText();
// The synopsis alone, for a run without arguments.
const char* ShortUsageText();

}  // namespace normalize
