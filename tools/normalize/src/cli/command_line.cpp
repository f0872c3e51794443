#include "cli/command_line.h"

#include <string>

#include "cli/number_text.h"
#include "failure.h"

namespace normalize {
namespace {

constexpr int kMaxLevelDb = 100;
constexpr int kMinBufferKb = 16;
constexpr int kMaxBufferKb = 16384;
constexpr double kQuietestTargetLufs = -70;  // the absolute gate
constexpr double kLowestCeilingDbtp = -60;
constexpr double kDeepestLimitDb = 20;
constexpr int kMaxJobs = 256;

[[noreturn]] void Refuse(const std::string& message) {
  throw Failure(ExitCode::kUsage, message + " (normalize --help shows the usage)");
}

// Plain decimal only: the front end composes nothing else, and "0x32" or
// "$32" would be a surprise on the command line.
int Number(const std::string& option, const std::string& text) {
  const auto value = WholeNumber(text);
  if (!value) Refuse(option + " needs a whole number in decimal, not '" + text + "'");
  return *value;
}

// A decimal number such as -23 or -14.5.
double Decimal(const std::string& option, const std::string& text, double low, double high) {
  const auto value = DecimalNumber(text);
  if (!value) Refuse(option + " needs a number such as -23 or -14.5, not '" + text + "'");
  if (*value < low || *value > high) {
    Refuse(option + " " + text + " is out of range " + std::to_string(static_cast<int>(low)) + ".." +
           std::to_string(static_cast<int>(high)));
  }
  return *value;
}

void CheckRange(const std::string& option, int value, int low, int high) {
  if (value < low || value > high) {
    Refuse(option + " " + std::to_string(value) + " is out of range " + std::to_string(low) +
           ".." + std::to_string(high));
  }
}

bool TakesValue(const std::string& option) {
  return option == "-l" || option == "-a" || option == "-m" || option == "-b" || option == "-o" || option == "-x" ||
         option == "-j" || option == "--jobs" || option == "--loudness" || option == "--true-peak" || option == "--dither" ||
         option == "--report" || option == "--output-dir" || option == "--limit-depth";
}

// The options as they are read, before they are checked together.
struct Reading {
  Options options;
  std::optional<std::string> mode_option;
  std::optional<int> buffer_kb;
  bool dither_given = false;
  std::optional<double> limit_depth;
};

void TakeValue(Reading& r, const std::string& option, const std::string& text) {
  Options& options = r.options;
  if (option == "-l" || option == "-a" || option == "-m" || option == "--loudness") {
    if (r.mode_option) {
      Refuse("only one of -l, -a, -m and --loudness may be given (" + *r.mode_option + ", " + option + ")");
    }
    r.mode_option = option;
    if (option == "--loudness") {
      options.mode = Mode::kLoudness;
      options.loudness_lufs = Decimal(option, text, kQuietestTargetLufs, 0);
    } else {
      options.mode = option == "-l" ? Mode::kRatio : option == "-a" ? Mode::kLevel : Mode::kPercent;
      options.value = Number(option, text);
    }
  } else if (option == "--true-peak") {
    if (options.true_peak_dbtp) Refuse("--true-peak given twice");
    options.true_peak_dbtp = Decimal(option, text, kLowestCeilingDbtp, 0);
  } else if (option == "--limit-depth") {
    if (r.limit_depth) Refuse("--limit-depth given twice");
    r.limit_depth = Decimal(option, text, 0, kDeepestLimitDb);
  } else if (option == "-b") {
    if (r.buffer_kb) Refuse("-b given twice");
    r.buffer_kb = Number(option, text);
  } else if (option == "-j" || option == "--jobs") {
    if (options.jobs) Refuse("-j given twice");
    options.jobs = Number(option, text);
    CheckRange(option, options.jobs, 1, kMaxJobs);
  } else if (option == "--dither") {
    if (r.dither_given) Refuse("--dither given twice");
    r.dither_given = true;
    if (text != "tpdf" && text != "none") Refuse("--dither takes tpdf or none, not '" + text + "'");
    options.dither = text == "tpdf";
  } else if (option == "--report") {
    if (options.report) Refuse("--report given twice");
    if (text.empty()) Refuse("--report needs a file name");
    options.report = text;
  } else if (option == "--output-dir") {
    if (options.output_dir) Refuse("--output-dir given twice");
    if (text.empty()) Refuse("--output-dir needs a folder");
    options.output_dir = text;
  } else if (option == "-x") {
    if (options.abort_below_db) Refuse("-x given twice");
    options.abort_below_db = Number(option, text);
  } else {
    if (options.output) Refuse("-o given twice");
    if (text.empty()) Refuse("-o needs a file name");
    options.output = text;
  }
}

Options CheckedTogether(Reading& r) {
  Options& options = r.options;
  if (options.mode == Mode::kRatio && options.value == 0) {
    Refuse("-l 0 would silence the file; give a ratio other than 0");
  }
  if (options.mode == Mode::kLevel) CheckRange("-a", options.value, -kMaxLevelDb, kMaxLevelDb);
  if (options.mode == Mode::kPercent) CheckRange("-m", options.value, 1, 100);
  if (r.buffer_kb) {
    CheckRange("-b", *r.buffer_kb, kMinBufferKb, kMaxBufferKb);
    options.buffer_kb = *r.buffer_kb;
  }
  if (options.abort_below_db) CheckRange("-x", *options.abort_below_db, -kMaxLevelDb, kMaxLevelDb);
  if (options.true_peak_dbtp && options.mode != Mode::kLoudness) Refuse("--true-peak needs --loudness");
  if (options.limit && (options.mode != Mode::kLoudness || !options.true_peak_dbtp)) {
    Refuse("--limit needs --loudness and --true-peak: it limits the peaks the loudness target would push over the "
           "ceiling");
  }
  if (r.limit_depth && !options.limit) Refuse("--limit-depth needs --limit");
  if (r.limit_depth) options.limit_depth_db = *r.limit_depth;
  if (options.dry_run && options.analyze) Refuse("--analyze writes nothing anyway; it takes no --dry-run");
  if (options.analyze && (r.mode_option || options.output || options.output_dir || options.abort_below_db)) {
    Refuse("--analyze writes nothing; it takes no -l, -a, -m, --loudness, -o, --output-dir or -x");
  }
  if (options.output && options.output_dir) Refuse("-o names one result and --output-dir a folder of them: give one");
  if (options.album && options.analyze) Refuse("--analyze writes nothing; it takes no --album");
  if (options.album && (options.mode == Mode::kRatio || options.mode == Mode::kLevel)) {
    Refuse("--album needs --loudness or -m: " + *r.mode_option + " already gives every file the same gain");
  }
  if (options.inputs.empty()) Refuse("no input file given");
  if (options.output && options.inputs.size() > 1) Refuse("-o takes a single input file");
  return options;
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& args) {
  Reading r;
  r.options.arguments = args;
  bool only_files = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!only_files && (arg == "--help" || arg == "-h" || arg == "/?")) {
      r.options.help = true;
      return r.options;
    }
    if (!only_files && arg == "--version") {
      r.options.version = true;
      return r.options;
    }
    if (!only_files && arg == "--") {
      only_files = true;
      continue;
    }
    if (only_files || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) Refuse("an input file name is empty");
      r.options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--album=folder") {
      r.options.album = r.options.album_per_folder = true;
      continue;
    }
    if (arg.rfind("--album=", 0) == 0) Refuse("--album takes no value but 'folder' (--album=folder: each folder an album)");
    if (arg == "--analyze" || arg == "--json" || arg == "--album" || arg == "-r" || arg == "--recursive" ||
        arg == "-n" || arg == "--dry-run" || arg == "--limit") {
      (arg == "--analyze" ? r.options.analyze
       : arg == "--limit" ? r.options.limit
       : arg == "--json"  ? r.options.json
       : arg == "--album" ? r.options.album
       : arg == "-n" || arg == "--dry-run" ? r.options.dry_run
                          : r.options.recursive) = true;
      continue;
    }
    // As getopt and GNU take them: a short option's value attached ("-m100"),
    // a long one's after an equals sign ("--loudness=-14"), or the next argument.
    const bool is_long = arg.rfind("--", 0) == 0;
    std::size_t value_at = is_long ? arg.find('=') : std::string::npos;
    if (!is_long && arg.size() > 2 && TakesValue(arg.substr(0, 2))) value_at = 2;
    const std::string option = arg.substr(0, value_at);
    const bool known = TakesValue(option) || option == "--analyze" || option == "--json" || option == "--help" ||
                       option == "--album" || option == "--recursive" || option == "--dry-run" ||
                       option == "--limit";
    if (!known) Refuse("unknown option '" + option + "'");
    if (!TakesValue(option)) Refuse("option " + option + " takes no value");
    if (value_at == std::string::npos) {
      if (i + 1 >= args.size()) Refuse("option " + arg + " needs a value");
      TakeValue(r, option, args[++i]);
    } else {
      TakeValue(r, option, arg.substr(value_at + (is_long ? 1 : 0)));
    }
  }
  return CheckedTogether(r);
}

}  // namespace normalize
