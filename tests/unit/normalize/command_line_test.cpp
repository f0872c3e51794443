// The arguments the front end composes, and the same in other orders.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/command_line.h"
#include "failure.h"
#include "quilbo_version.h"
#include "program_run.h"
#include "wav_fixture.h"

namespace normalize {
namespace {

TEST(NormalizeCommandLine, AcceptsWhatTheFrontEndComposes) {
  const struct {
    std::vector<std::string> args;
    Mode mode;
    int value;
    int buffer_kb;
    std::optional<std::string> output;
    std::optional<int> abort_below;
  } cases[] = {
      {{"-l", "-2", "Select Input File!"}, Mode::kRatio, -2, 64, {}, {}},
      {{"-m", "100", "-b", "64", "-o", "C:\\out dir\\o.wav", "-x", "3", "in.wav"}, Mode::kPercent, 100, 64, "C:\\out dir\\o.wav", 3},
      {{"in.wav", "-x", "-2", "-b", "16384", "-a", "-30"}, Mode::kLevel, -30, 16384, {}, -2},
      {{"-b", "16", "in.wav"}, Mode::kPercent, 100, 16, {}, {}},  // -m 100 by default
      {{"-a", "3", "--", "-odd name.wav"}, Mode::kLevel, 3, 64, {}, {}},
      // As getopt takes them: values attached, "--" before a file named like an option.
      {{"-m50", "-b128", "-x3", "-oout dir/o.wav", "in.wav"}, Mode::kPercent, 50, 128, "out dir/o.wav", 3},
      {{"-a-6", "-j4", "--", "-x.wav"}, Mode::kLevel, -6, 64, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const Options options = ParseCommandLine(c.args);
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.mode, c.mode);
    EXPECT_EQ(options.value, c.value);
    EXPECT_EQ(options.buffer_kb, c.buffer_kb);
    EXPECT_EQ(options.output, c.output);
    EXPECT_EQ(options.abort_below_db, c.abort_below);
    EXPECT_EQ(options.inputs, std::vector<std::string>{c.args[0] == "in.wav" ? "in.wav" : c.args.back()});
  }
  EXPECT_TRUE(ParseCommandLine({"-l", "2", "--help"}).help);
  EXPECT_EQ(ParseCommandLine({"-j4", "in.wav"}).jobs, 4);
}

TEST(NormalizeCommandLine, LongOptionsTakeTheirValueAfterAnEqualsSign) {
  const Options limited = ParseCommandLine({"--loudness=-14", "--true-peak=-1", "--limit", "--limit-depth", "4.5", "in.wav"});
  EXPECT_TRUE(limited.limit);
  EXPECT_EQ(limited.limit_depth_db, 4.5);
  const Options options = ParseCommandLine({"--loudness=-14", "--true-peak=-1.5", "in.wav"});
  EXPECT_EQ(options.mode, Mode::kLoudness);
  EXPECT_EQ(options.loudness_lufs, -14);
  EXPECT_EQ(options.true_peak_dbtp, -1.5);
  EXPECT_EQ(ParseCommandLine({"--loudness=-23", "--", "--true-peak=-1"}).inputs.back(), "--true-peak=-1");
}

TEST(NormalizeCommandLine, RefusesWithAUsageError) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-l", "0", "in.wav"}, "silence"},
      {{"-m", "0", "in.wav"}, "out of range 1..100"},
      {{"-m", "101", "in.wav"}, "out of range 1..100"},
      {{"-b", "15", "in.wav"}, "out of range 16..16384"},
      {{"-a", "101", "in.wav"}, "out of range"},
      {{"-a", "1.5", "in.wav"}, "whole number"},
      {{"-l", "99999999999", "in.wav"}, "whole number"},
      {{"-q", "in.wav"}, "unknown option '-q'"},
      {{"-l", "2", "-a", "3", "in.wav"}, "only one of"},
      {{"-b", "64", "-b", "32", "in.wav"}, "twice"},
      {{"--dither", "none", "--dither=tpdf", "in.wav"}, "--dither given twice"},
      {{"-l", "2"}, "no input file"},
      {{"-l"}, "needs a value"},
      {{"-l", "2", "-o", "o.wav", "a.wav", "b.wav"}, "single input file"},
      {{"-o", "", "in.wav"}, "file name"},
      // The front end's hexadecimal forms and blanks are not the tool's numbers.
      {{"-m", "0x32", "in.wav"}, "in decimal, not '0x32'"},
      {{"-m", "$32", "in.wav"}, "in decimal, not '$32'"},
      {{"-b", "x40", "in.wav"}, "in decimal"},
      {{"-a", " 3", "in.wav"}, "in decimal"},
      {{"-l", "-", "in.wav"}, "in decimal"},
      {{"--loudness=", "in.wav"}, "not ''"},
      {{"--analyze=yes", "in.wav"}, "--analyze takes no value"},
      {{"--loud=-14", "in.wav"}, "unknown option '--loud'"},
      {{"-m=50", "in.wav"}, "not '=50'"},
      {{"-j0", "in.wav"}, "out of range 1..256"},
      {{"-rj4", "in.wav"}, "unknown option '-rj4'"},
      {{"--limit", "-m", "90", "in.wav"}, "--limit needs --loudness and --true-peak"},
      {{"--loudness=-14", "--limit", "in.wav"}, "--limit needs --loudness and --true-peak"},
      {{"--loudness=-14", "--true-peak=-1", "--limit-depth=3", "in.wav"}, "--limit-depth needs --limit"},
      {{"--loudness=-14", "--true-peak=-1", "--limit", "--limit-depth=21", "in.wav"}, "out of range 0..20"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      ParseCommandLine(c.args);
      ADD_FAILURE() << "accepted";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.code(), ExitCode::kUsage);
      EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos) << failure.what();
    }
  }
}

// getopt's ways: a short option's value attached, "--" before file names that
// start with a minus.
// What the whole program says: without arguments, a short usage; about an
// output that cannot be made, the name the user gave; in JSON, never "-0".
TEST(NormalizeCommandLine, ProgramSpeaksOfWhatTheUserGave) {
  const test::ScratchDir dir;
  // One second of a 16-bit square wave between +peak and -peak.
  const auto square = [&](const std::string& name, unsigned peak) {
    test::Bytes samples;
    for (int i = 0; i < 8000; ++i) {
      const test::Bytes sample = test::Le16(i % 2 ? 0x10000 - peak : peak);
      samples.insert(samples.end(), sample.begin(), sample.end());
    }
    test::WriteBytes(dir / name, test::BuildRiff({{"fmt ", test::PcmFmt(1, 1, 16)}, {"data", samples}}));
  };
  square("-x.wav", 0x7FFF);  // -0.0003 dBFS, which rounds to zero
  square("quiet.wav", 33);   // -59.94 dBFS
  std::filesystem::create_directories(dir / "album/disc 1");
  square("album/disc 1/a.wav", 33);
  const std::string missing_folder = dir / "nodir";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string says;
    std::string never;
  } cases[] = {
      {{}, 1, "normalize --help shows what the options do", "Exit codes"},
      {{"--version", "-l", "0"}, 0, "normalize " QUILBO_VERSION_TEXT " (Quilbo-FE)\n", "Usage"},
      {{"-a", "-1", "-o", missing_folder + "/out.wav", "--", dir / "-x.wav"}, 5,
       "there is no folder '" + missing_folder + "'", ".tmp"},
      {{"--analyze", "--json", "--", dir / "-x.wav"}, 0, "\"sample_peak_dbfs\":0.000,", ":-0.000"},
      {{"-m", "100", dir / "album"}, 2, "no WAV file in this folder, only in its subfolders (-r", "written"},
      {{"-m", "100", "-x", "3", dir / "quiet.wav"}, 0,
       "warning: " + dir / "quiet.wav" + ": a gain of +59.94 dB was applied to a file of peak -59.94 dBFS", "cannot"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args[0]);
    std::string said;
    EXPECT_EQ(test::RunProgram(NORMALIZE_EXECUTABLE, c.args, &said), c.code) << said;
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(said.find(c.never), std::string::npos) << said;
  }
}

}  // namespace
}  // namespace normalize
