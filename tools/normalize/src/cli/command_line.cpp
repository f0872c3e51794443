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

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& args) {
  Options options;
  std::optional<std::string> mode_option;
  std::optional<int> buffer_kb;
  bool only_files = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!only_files && (arg == "--help" || arg == "-h" || arg == "/?")) {
      options.help = true;
      return options;
    }
    if (!only_files && arg == "--") {
      only_files = true;
      continue;
    }
    if (only_files || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) Refuse("an input file name is empty");
      options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--analyze" || arg == "--json") {
      (arg == "--analyze" ? options.analyze : options.json) = true;
      continue;
    }
    // GNU's long form "--name=value" as well as "--name value".
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string option = arg.substr(0, equals);
    const bool takes_value = option == "-l" || option == "-a" || option == "-m" || option == "-b" ||
                             option == "-o" || option == "-x" || option == "--loudness" ||
                             option == "--true-peak";
    const bool known = takes_value || option == "--analyze" || option == "--json" || option == "--help";
    if (!known) Refuse("unknown option '" + option + "'");
    if (!takes_value) Refuse("option " + option + " takes no value");
    if (equals == std::string::npos && i + 1 >= args.size()) Refuse("option " + arg + " needs a value");
    const std::string text = equals == std::string::npos ? args[++i] : arg.substr(equals + 1);

    if (option == "-l" || option == "-a" || option == "-m" || option == "--loudness") {
      if (mode_option) {
        Refuse("only one of -l, -a, -m and --loudness may be given (" + *mode_option + ", " + option + ")");
      }
      mode_option = option;
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
    } else if (option == "-b") {
      if (buffer_kb) Refuse("-b given twice");
      buffer_kb = Number(option, text);
    } else if (option == "-x") {
      if (options.abort_below_db) Refuse("-x given twice");
      options.abort_below_db = Number(option, text);
    } else {
      if (options.output) Refuse("-o given twice");
      if (text.empty()) Refuse("-o needs a file name");
      options.output = text;
    }
  }

  if (options.mode == Mode::kRatio && options.value == 0) {
    Refuse("-l 0 would silence the file; give a ratio other than 0");
  }
  if (options.mode == Mode::kLevel) CheckRange("-a", options.value, -kMaxLevelDb, kMaxLevelDb);
  if (options.mode == Mode::kPercent) CheckRange("-m", options.value, 1, 100);
  if (buffer_kb) {
    CheckRange("-b", *buffer_kb, kMinBufferKb, kMaxBufferKb);
    options.buffer_kb = *buffer_kb;
  }
  if (options.abort_below_db) CheckRange("-x", *options.abort_below_db, -kMaxLevelDb, kMaxLevelDb);
  if (options.true_peak_dbtp && options.mode != Mode::kLoudness) Refuse("--true-peak needs --loudness");
  if (options.json && !options.analyze) Refuse("--json needs --analyze");
  if (options.analyze && (mode_option || options.output || options.abort_below_db)) {
    Refuse("--analyze writes nothing; it takes no -l, -a, -m, --loudness, -o or -x");
  }
  if (options.inputs.empty()) Refuse("no input file given");
  if (options.output && options.inputs.size() > 1) Refuse("-o takes a single input file");
  options.input = options.inputs.front();
  return options;
}

const char* UsageText() {
  return
      "Usage: normalize [-l <ratio> | -a <level> | -m <percent>] [-b <size>] [-o <file>]\n"
      "                 [-x <level>] <file.wav>...\n"
      "       normalize --loudness <LUFS> [--true-peak <dBTP>] [-b <size>] [-o <file>]\n"
      "                 [-x <level>] <file.wav>...\n"
      "       normalize --analyze [--json] [-b <size>] <file.wav>...\n"
      "Changes the loudness of WAV files, in place unless -o is given.\n"
      "  -l <ratio>    multiply every sample by the whole number <ratio> (not 0);\n"
      "                no peak scan\n"
      "  -a <level>    amplify by <level> dB (-100..100); no peak scan\n"
      "  -m <percent>  scan for the peak, then amplify so that it becomes <percent>\n"
      "                (1..100) of full scale; the default is -m 100. A file peaking\n"
      "                below -144 dBFS (beneath 24-bit resolution) is left untouched\n"
      "  -b <size>     I/O buffer size in KB (16..16384; default 64)\n"
      "  -o <file>     write the result to <file> instead of over the input\n"
      "  -x <level>    leave the file untouched if the gain would be smaller than\n"
      "                <level> dB\n"
      "  --loudness <LUFS>  measure the integrated loudness (ITU-R BS.1770-4, gated),\n"
      "                then amplify so that it becomes <LUFS> (-70..0; e.g. -23 for\n"
      "                EBU R128 broadcast, -14 to -16 for streaming); one gain for\n"
      "                the whole file. Channel weights follow the channel mask of\n"
      "                WAVE_FORMAT_EXTENSIBLE, else the order L R C LFE Ls Rs. Without\n"
      "                --true-peak the gain may clip; the summary counts what did\n"
      "  --true-peak <dBTP>  with --loudness: lower the gain where needed so that the\n"
      "                result's true peak stays at or below <dBTP> (-60..0); the\n"
      "                summary says when it did. No limiter. The ceiling is held\n"
      "                against the signal between the samples oversampled to 192 kHz\n"
      "                or more (18x at 11.025 kHz, 5x at 44.1 kHz, 16x near the\n"
      "                peak), so that the result converted or resampled passes <dBTP>\n"
      "                by 0.1 dB at most (more where hard clipping fills the band up\n"
      "                to half the sample rate). The true peak that the summary and\n"
      "                --analyze report is BS.1770-4's: 4x oversampled below 96 kHz,\n"
      "                2x below 192 kHz, else the samples\n"
      "  --analyze     write nothing; print each file's sample peak (dBFS), true\n"
      "                peak (dBTP), integrated loudness (LUFS) and loudness range\n"
      "                (LU, EBU Tech 3342), one line per file\n"
      "  --json        with --analyze: one JSON object per line, keys \"file\",\n"
      "                \"sample_peak_dbfs\", \"true_peak_dbtp\", \"integrated_lufs\",\n"
      "                \"loudness_range_lu\" (null where a figure does not exist)\n"
      "  --help        show this text\n"
      "A long option's value may also follow an equals sign: --loudness=-14.\n"
      "Numbers are plain decimal whole numbers; --loudness and --true-peak also take\n"
      "a fraction (-14.5).\n"
      "Formats: PCM 8 (unsigned), 16, 24 and 32 bit, IEEE float 32 and 64 bit, plain\n"
      "or WAVE_FORMAT_EXTENSIBLE, any number of channels, RIFF or RF64. Other chunks\n"
      "are kept as they are. Float samples that are NaN or infinite are kept as\n"
      "they are and left out of the peak.\n"
      "The result is written to a temporary file '<target>.nrm-<12 hex digits>.tmp'\n"
      "beside the target and replaces the target in one step; an interruption\n"
      "(Ctrl-C, closing the window, a termination signal) removes it. One that a\n"
      "run killed outright or a power cut left behind is removed by the next run on\n"
      "the same target. The target must be a regular file that is not read-only\n"
      "and, when replaced in place, has no other hard links. A file another run is\n"
      "working on is refused.\n"
      "Several files are each processed on their own, one summary line each (-o\n"
      "takes one file); a file named twice is worked on once; the exit code is the\n"
      "worst of them. Wildcards (* and ?) in file names are expanded on Windows too.\n"
      "Exit codes:\n"
      "  0  done\n"
      "  1  bad command line\n"
      "  2  input missing or unreadable\n"
      "  3  not a WAV file, or a malformed header\n"
      "  4  a WAV format this tool does not handle\n"
      "  5  the result could not be written (the input is untouched)\n"
      "  6  the gain is below the -x level; nothing written\n"
      "  7  -m on a silent file, or one peaking below -144 dBFS; nothing written\n"
      "  8  internal error\n"
      "  9  interrupted; the file being worked on is left as it was\n"
      " 10  another run is working on the file; nothing written\n"
      " 11  --loudness or --analyze on a file that is silent or below the -70 LUFS\n"
      "     gate (or shorter than 0.4 s): its loudness does not exist; nothing written\n"
      "Of several files the worst code is returned: a failure outranks a file left\n"
      "alone (6, 7, 11), which outranks 0; of two alike, the higher code.\n";
}

}  // namespace normalize
