// Overwriting is all or nothing: whatever fails, the original stays
// byte-identical and no temporary file is left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

TEST(NormalizeAtomicOutput, FailuresLeaveTheOriginalAndNoTemporary) {
  const struct {
    const char* name;
    const char* output;  // relative to the scratch folder; "" writes in place
    std::uint64_t fail_after;  // bytes written before the injected fault; 0: none
  } cases[] = {
      {"write fails in the header", "", 1},
      {"write fails midway", "", 40000},
      {"target is a folder (rename refused)", "folder", 0},
      {"target folder missing (temporary not creatable)", "missing/out.wav", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string in = dir / "in.wav";
    Sox({"-n", "-r", "8000", "-c", "2", "-b", "16", in, "synth", "2", "sine", "300", "gain", "-10"});
    std::filesystem::create_directory(dir / "folder");
    WriteBytes(dir / "folder/occupied", {1});
    const Bytes original = ReadBytes(in);
    const auto names_before = dir.Names();

    std::vector<std::string> args = {"-a", "3", "-b", "16"};
    if (*c.output) args.insert(args.end(), {"-o", dir / c.output});
    args.push_back(in);
    WriteHook hook;
    if (c.fail_after) {
      hook = [&c](std::uint64_t written, std::size_t size) {
        if (written + size > c.fail_after) throw Failure(ExitCode::kOutput, "cannot write: no space left");
      };
    }
    const RunResult run = RunTool(args, hook);
    EXPECT_EQ(run.code, ExitCode::kOutput) << run.out;
    EXPECT_NE(run.err.find("cannot"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(in), original);
    EXPECT_EQ(dir.Names(), names_before);
    EXPECT_EQ(std::filesystem::is_directory(dir / "folder"), true);
  }
}

TEST(NormalizeAtomicOutput, InputCutShortMeanwhileFailsCleanly) {
  // 4480044 bytes, large enough to be mapped, read in blocks of
  // 16 KiB after a lead-in to the first page.
  constexpr std::uintmax_t kSize = 4480044;
  const struct {
    const char* name;
    std::uint64_t cut_after;  // bytes written when another program cuts the input
    std::uintmax_t cut_to;
  } cases[] = {
      {"pages of the next block gone", 30000, 20000},
      {"cut inside the last page", kSize - 14044, kSize - 44},
  };
  for (const auto& c : cases) {
    for (const bool map : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (map ? ", mapped" : ", read"));
      ScratchDir dir;
      const std::string in = dir / "in.wav";
      Sox({"-n", "-r", "8000", "-c", "2", "-b", "16", in, "synth", "140", "sine", "300", "gain", "-10"});
      ASSERT_EQ(std::filesystem::file_size(in), kSize);
      bool cut = false;
      const WriteHook hook = [&](std::uint64_t written, std::size_t size) {
        if (!cut && written + size > c.cut_after) std::filesystem::resize_file(in, c.cut_to);
        cut = cut || written + size > c.cut_after;
      };
      const RunResult run = RunTool({"-a", "3", "-b", "16", in}, hook, map);
      EXPECT_EQ(run.code, ExitCode::kInput) << run.out;
      EXPECT_NE(run.err.find(map ? "cut short" : "unexpected end"), std::string::npos) << run.err;
      EXPECT_EQ(std::filesystem::file_size(in), c.cut_to);
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});
    }
  }
}

TEST(NormalizeAtomicOutput, ReplacesInPlaceAndKeepsPermissions) {
  ScratchDir dir;
  const std::string in = dir / "in.wav";
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", in, "synth", "0.5", "sine", "300", "gain", "-10"});
  std::filesystem::permissions(in, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const Bytes original = ReadBytes(in);
  const RunResult run = RunTool({"-m", "100", in});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_NE(ReadBytes(in), original);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});
  EXPECT_EQ(std::filesystem::status(in).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_NE(run.out.find("written to " + in), std::string::npos) << run.out;
}

}  // namespace
}  // namespace normalize::test
