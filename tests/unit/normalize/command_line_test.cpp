// The arguments the front end composes, and the same in other orders.
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "failure.h"

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
}

TEST(NormalizeCommandLine, LongOptionsTakeTheirValueAfterAnEqualsSign) {
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
      {{"-m=50", "in.wav"}, "unknown option '-m=50'"},
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

}  // namespace
}  // namespace normalize
