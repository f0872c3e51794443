#include "options/option_set.h"

#include <gtest/gtest.h>

namespace quilbo {
namespace {

TEST(BuildCommandLine, ComposesTheDocumentedExamples) {
  TOptionSet initial;
  EXPECT_EQ(BuildCommandLine(initial), "-l 0 \"Select Input File!\"");

  TOptionSet level;
  level.mode = TAmplifyMode::amLevel;
  level.level = -6;
  EXPECT_EQ(BuildCommandLine(level), "-a -6 \"Select Input File!\"");

  TOptionSet everything;
  everything.mode = TAmplifyMode::amPercent;
  everything.bufferSizeEnabled = true;
  everything.outputEnabled = true;
  everything.abortEnabled = true;
  everything.abortLevel = 3;
  EXPECT_EQ(BuildCommandLine(everything),
            "-m 100 -b 64 -o \"Select Output File!\" -x 3 \"Select Input File!\"");

  TOptionSet typedOutOfRange;
  typedOutOfRange.ratio = 250;
  EXPECT_EQ(BuildCommandLine(typedOutOfRange), "-l 250 \"Select Input File!\"");
}

TEST(BuildCommandLine, ShowsOnlyTheChosenModeAndTickedOptions) {
  TOptionSet options;
  options.ratio = 3;
  options.level = -30;
  options.percent = 77;
  options.bufferSize = 16384;
  options.abortLevel = 30;
  options.outputPath = "C:\\out.wav";
  options.inputPath = "C:\\in.wav";

  options.mode = TAmplifyMode::amRatio;
  EXPECT_EQ(BuildCommandLine(options), "-l 3 \"C:\\in.wav\"");
  options.mode = TAmplifyMode::amLevel;
  EXPECT_EQ(BuildCommandLine(options), "-a -30 \"C:\\in.wav\"");
  options.mode = TAmplifyMode::amPercent;
  EXPECT_EQ(BuildCommandLine(options), "-m 77 \"C:\\in.wav\"");

  // The abort option follows the output option whatever the order on screen.
  options.abortEnabled = true;
  options.outputEnabled = true;
  EXPECT_EQ(BuildCommandLine(options), "-m 77 -o \"C:\\out.wav\" -x 30 \"C:\\in.wav\"");
  options.bufferSizeEnabled = true;
  options.outputEnabled = false;
  EXPECT_EQ(BuildCommandLine(options), "-m 77 -b 16384 -x 30 \"C:\\in.wav\"");
}

TEST(BuildCommandLine, KeepsPathsVerbatimInsideTheirQuotes) {
  TOptionSet options;
  options.outputEnabled = true;
  const struct {
    const char* path;
  } paths[] = {{"C:\\My Music\\take 1.wav"}, {"a\"b.wav"}, {""}, {"  lead and trail  "},
               {"C:\\\xD0\x9C\xD1\x83\xD0\xB7\xD1\x8B\xD0\xBA\xD0\xB0.wav"}, {"\\\\server\\share\\x.wav"}};
  for (const auto& p : paths) {
    options.inputPath = p.path;
    options.outputPath = p.path;
    const std::string quoted = std::string("\"") + p.path + "\"";
    EXPECT_EQ(BuildCommandLine(options), "-l 0 -o " + quoted + " " + quoted);
  }
}

TEST(BuildCommandLine, WritesExtremeValuesInShortestForm) {
  TOptionSet options;
  options.ratio = INT32_MIN;
  options.bufferSizeEnabled = true;
  options.bufferSize = INT32_MAX;
  EXPECT_EQ(BuildCommandLine(options), "-l -2147483648 -b 2147483647 \"Select Input File!\"");
}

}  // namespace
}  // namespace quilbo
