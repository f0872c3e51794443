// What a new user meets first: a library copied from a Mac, and a dry run
// read beside the real one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

// The header of an AppleDouble file, as macOS writes "._song.wav".
const Bytes kAppleDouble = {0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00, 'M', 'a', 'c', ' ', 'O', 'S', ' ', 'X'};

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(NormalizeFirstUse, MacMetadataFilesAreSkippedInFoldersWithOneLineButRefusedWhenNamed) {
  ScratchDir dir;
  const std::string lib = dir / "lib";
  std::filesystem::create_directories(lib + "/disc 2");
  for (const char* name : {"/a.wav", "/disc 2/b.wav"}) {
    Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", lib + name, "synth", "0.5", "sine", "440", "gain", "-20"});
  }
  WriteBytes(lib + "/._a.wav", kAppleDouble);
  WriteBytes(lib + "/disc 2/._b.wav", kAppleDouble);
  // A "._" name alone proves nothing: this one is a WAV file and is worked on.
  std::filesystem::copy_file(lib + "/a.wav", lib + "/._real.wav");

  RunResult run = RunTool({"--analyze", "--json", "-r", lib});
  EXPECT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_EQ(Lines(run.out), 3u) << run.out;
  EXPECT_NE(run.out.find("._real.wav"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "normalize: skipped 2 macOS metadata files (AppleDouble, \"._\" before the name; not audio): " +
                         lib + "/._a.wav and the like\n");

  // A folder of nothing but metadata has no WAV file.
  std::filesystem::remove(lib + "/disc 2/b.wav");
  run = RunTool({"-m", "100", lib + "/disc 2"});
  EXPECT_EQ(run.code, ExitCode::kInput);
  EXPECT_NE(run.err.find("no WAV file in this folder"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("skipped 1 macOS metadata file (AppleDouble"), std::string::npos) << run.err;

  run = RunTool({"--analyze", lib + "/._a.wav"});
  EXPECT_EQ(run.code, ExitCode::kNotWav);
  EXPECT_NE(run.err.find("not a WAV file"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(lib + "/._a.wav"), kAppleDouble);
}

TEST(NormalizeFirstUse, ADryRunPrintsTheRealRunsLinesMarkedAtTheEnd) {
  const std::vector<std::vector<std::string>> modes = {
      {"-m", "90"}, {"--loudness", "-20", "--true-peak", "-1"}, {"-o", "", "--loudness", "-20"}};
  for (std::vector<std::string> mode : modes) {
    ScratchDir dir;
    const std::string in = dir / "in.wav";
    Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", in, "synth", "1", "pinknoise", "gain", "-15"});
    if (mode[0] == "-o") mode[1] = dir / "out.wav";
    std::vector<std::string> args = mode;
    args.push_back(in);
    SCOPED_TRACE(mode[0]);
    std::vector<std::string> dry_args = args;
    dry_args.insert(dry_args.begin(), "-n");
    const RunResult dry = RunTool(dry_args);
    const RunResult real = RunTool(args);
    ASSERT_EQ(dry.code, ExitCode::kOk) << dry.err;
    ASSERT_EQ(real.code, ExitCode::kOk) << real.err;
    // The same line, less the count that only writing finds, and the marker.
    std::string expected = real.out;
    const std::size_t clipped = expected.find(" 0 clipped,");
    ASSERT_NE(clipped, std::string::npos) << real.out;
    expected.erase(clipped, 11);
    expected.insert(expected.size() - 1, "; dry run, not written");
    EXPECT_EQ(dry.out, expected);
  }
}

}  // namespace
}  // namespace normalize::test
