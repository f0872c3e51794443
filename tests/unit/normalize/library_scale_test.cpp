// A library that changes under the tool, is stopped part way or is run again:
// nothing lost, nothing done twice, nothing left unsaid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "program_run.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

// Tracks at three levels, 16-bit so that a gain moves every sample.
std::vector<std::string> MakeTracks(const ScratchDir& dir, int count, const std::string& stem = "track") {
  std::vector<std::string> files;
  for (int i = 0; i < count; ++i) {
    files.push_back(dir / (stem + std::to_string(i) + ".wav"));
    Sox({"-D", "-n", "-r", "8000", "-c", "1", "-b", "16", files.back(), "synth", "0.6", "pinknoise", "gain",
         std::to_string(-12 - 6 * (i % 3))});
  }
  return files;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t Journals(const ScratchDir& dir) {
  const auto names = dir.Names();
  return static_cast<std::size_t>(std::count_if(names.begin(), names.end(), [](const std::string& name) {
    return name.rfind(".normalize-album-", 0) == 0;
  }));
}

struct Snapshot {
  Bytes bytes;
  std::filesystem::file_time_type modified;
  bool operator==(const Snapshot&) const = default;
};
std::vector<Snapshot> Snap(const std::vector<std::string>& files) {
  std::vector<Snapshot> snaps;
  for (const auto& file : files) snaps.push_back({ReadBytes(file), std::filesystem::last_write_time(file)});
  return snaps;
}

TEST(NormalizeLibraryScale, TheFileWrittenIsTheFileMeasured) {
  // Another program changes the file between our measuring and our writing.
  struct Case {
    const char* name;
    void (*change)(const std::string& file);
    bool exists_after;
  };
  const Case cases[] = {
      {"replaced by a rename", [](const std::string& file) {
         WriteBytes(file + ".part", Bytes(100, 7));
         std::filesystem::rename(file + ".part", file);
       }, true},
      {"deleted", [](const std::string& file) { std::filesystem::remove(file); }, false},
      {"rewritten in place", [](const std::string& file) {
         std::FILE* out = std::fopen(file.c_str(), "ab");
         std::fputc(0, out);
         std::fclose(out);
       }, true},
  };
  for (const Case& c : cases) {
    for (const bool album : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (album ? ", album" : ""));
      ScratchDir dir;
      const auto files = MakeTracks(dir, 2);
      Bytes changed;
      const RunResult run =
          RunTool(With(album ? std::vector<std::string>{"--album", "--loudness", "-20", "-j", "1"}
                             : std::vector<std::string>{"--loudness", "-20"},
                       {files[0]}),
                  {}, true, [&](const std::string& input) {
                    c.change(input);
                    if (c.exists_after) changed = ReadBytes(input);
                  });
      EXPECT_EQ(run.code, ExitCode::kInput);
      EXPECT_TRUE(Contains(run.err, files[0] + ": ")) << run.err;
      EXPECT_EQ(std::filesystem::exists(files[0]), c.exists_after);
      if (c.exists_after) {
        EXPECT_EQ(ReadBytes(files[0]), changed);
      }
      for (const auto& name : dir.Names()) EXPECT_EQ(name.find(".nrm-"), std::string::npos) << name;
    }
  }
}

TEST(NormalizeLibraryScale, AnAlbumStoppedPartWayIsFinishedByARerunWithTheFirstGain) {
  ScratchDir dir;
  const auto files = MakeTracks(dir, 4);
  const auto before = Snap(files);
  const std::vector<std::string> album = With({"--album", "-m", "50", "-j", "1"}, files);
  int started = 0;
  RunResult run = RunTool(album, [&](std::uint64_t written, std::size_t) {
    if (written == 0 && ++started == 3) throw Failure(ExitCode::kOutput, "no space left on device");
  });
  ASSERT_EQ(run.code, ExitCode::kOutput);
  EXPECT_TRUE(Contains(run.err, "run the same command again to finish it")) << run.err;
  ASSERT_EQ(Journals(dir), 1u);
  const auto half = Snap(files);
  EXPECT_NE(half[0], before[0]);
  EXPECT_EQ(half[2], before[2]);

  // Until it is finished, its tracks are no other run's; a run of another
  // gain would change what the album chose.
  run = RunTool({"-m", "90", files[3]});
  EXPECT_EQ(run.code, ExitCode::kBusy);
  EXPECT_TRUE(Contains(run.err, ".normalize-album-")) << run.err;
  EXPECT_EQ(RunTool({"--album", "-m", "90", files[1], files[2]}).code, ExitCode::kBusy);

  run = RunTool(album);
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_TRUE(Contains(run.err, "finishing the album")) << run.err;
  EXPECT_EQ(Journals(dir), 0u);
  // Every track now differs from its original by the one gain: the first two
  // were not written twice.
  const auto after = Snap(files);
  EXPECT_EQ(after[0], half[0]);
  EXPECT_EQ(after[1], half[1]);
  const auto peaks = [&](const std::string& file) {
    const auto samples = SoxSamples(file);
    return std::abs(static_cast<double>(*std::max_element(samples.begin(), samples.end(), [](auto a, auto b) {
      return std::abs(static_cast<double>(a)) < std::abs(static_cast<double>(b));
    })));
  };
  ScratchDir fresh;
  std::vector<std::string> originals;
  for (std::size_t i = 0; i < files.size(); ++i) {
    originals.push_back(fresh / (std::to_string(i) + " original.wav"));
    WriteBytes(originals.back(), before[i].bytes);
  }
  ASSERT_EQ(RunTool(With({"--album", "-m", "50"}, originals)).code, ExitCode::kOk);
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(peaks(files[i]), peaks(originals[i])) << i;
}

TEST(NormalizeLibraryScale, ARerunLeavesEveryFileAsItWasAndADryRunTouchesNothing) {
  const std::vector<std::vector<std::string>> modes = {
      {"-m", "100"}, {"--loudness", "-23"}, {"--loudness", "-16", "--true-peak", "-1"},
      {"--album", "--loudness", "-20"}, {"--album", "-m", "80"}, {"-a", "0"},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode[0] + " " + mode[1]);
    ScratchDir dir;
    const auto files = MakeTracks(dir, 3);
    const auto original = Snap(files);
    const RunResult dry = RunTool(With(With(mode, {"--dry-run"}), files));
    ASSERT_EQ(dry.code, ExitCode::kOk) << dry.err;
    EXPECT_EQ(Snap(files), original);
    EXPECT_EQ(dir.Names().size(), files.size());

    const RunResult first = RunTool(With(mode, files));
    ASSERT_EQ(first.code, ExitCode::kOk) << first.err;
    // The dry run's plan is the real run's: the same gains, file by file.
    const auto gains = [](const std::string& out) {
      std::vector<std::string> found;
      for (std::size_t at = 0; (at = out.find("gain ", at)) != std::string::npos; at += 5) {
        found.push_back(out.substr(at, out.find(' ', at + 5) - at));
      }
      return found;
    };
    EXPECT_EQ(gains(dry.out), gains(first.out)) << dry.out << first.out;

    const auto done = Snap(files);
    const RunResult again = RunTool(With(mode, files));
    EXPECT_EQ(again.code, ExitCode::kOk) << again.err;
    EXPECT_EQ(Snap(files), done) << again.out;
    EXPECT_TRUE(Contains(again.out, "left as it was")) << again.out;
    EXPECT_EQ(dir.Names().size(), files.size());
  }
}

TEST(NormalizeLibraryScale, EveryFileChangedIsNamedWhenABatchIsInterrupted) {
  ScratchDir dir;
  std::vector<std::string> files = {MakeLargeInput(dir, "0 slow.wav", 1u << 30)};
  const auto small = MakeTracks(dir, 24);
  files.insert(files.end(), small.begin(), small.end());
  const auto before = Snap(small);
  const std::vector<std::string> command = With({"-m", "50", "-j", "4", "-b", "16"}, files);
  const std::string log = dir / "log";
  const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid = Spawn(NORMALIZE_EXECUTABLE, command, log_fd);
  close(log_fd);
  // The small files are done while the slow one is still being written.
  const auto all_done = [&] {
    for (std::size_t i = 0; i < small.size(); ++i) {
      if (std::filesystem::last_write_time(small[i]) == before[i].modified) return false;
    }
    return true;
  };
  for (int i = 0; i < 60000 && !all_done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(all_done());
  ASSERT_TRUE(WaitForTemporary(dir));
  kill(pid, SIGINT);
  EXPECT_EQ(ExitStatus(pid), static_cast<int>(ExitCode::kInterrupted));
  const Bytes said = ReadBytes(log);
  const std::string text(said.begin(), said.end());
  for (const auto& file : small) EXPECT_TRUE(Contains(text, file + ": written with gain")) << text;
  EXPECT_TRUE(Contains(text, "left as it was: " + files[0])) << text;
  EXPECT_EQ(FirstSample(files[0]), 1000);

  // The same command again gives none of them a second gain.
  const auto done = Snap(small);
  const RunResult again = RunTool(With({"-m", "50"}, small));
  EXPECT_EQ(again.code, ExitCode::kOk) << again.err;
  EXPECT_EQ(Snap(small), done);
}

TEST(NormalizeLibraryScale, OutputThatCannotBeWrittenEndsTheRunWithAFailure) {
  ScratchDir dir;
  const auto files = MakeTracks(dir, 40);
  // A full disk under the JSON lines.
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  pid_t pid = Spawn(NORMALIZE_EXECUTABLE, With({"--analyze", "--json", "-j", "1"}, files), full);
  close(full);
  EXPECT_EQ(ExitStatus(pid), static_cast<int>(ExitCode::kOutput));
  // A reader that has gone (| head -1): a failure, never a silent death by SIGPIPE.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  pid = Spawn(NORMALIZE_EXECUTABLE, With({"-m", "70", "-j", "1"}, files), ends[1]);
  close(ends[1]);
  EXPECT_EQ(ExitStatus(pid), static_cast<int>(ExitCode::kOutput));
  for (const auto& name : dir.Names()) EXPECT_EQ(name.find(".nrm-"), std::string::npos) << name;
}

TEST(NormalizeLibraryScale, AnAlbumLargerThanTheOpenFileLimitIsDone) {
  ScratchDir dir;
  const auto files = MakeTracks(dir, 100);
  std::string output;
  const int code = RunProgram(
      "/bin/sh", With({"-c", "ulimit -n 32 && exec \"$0\" \"$@\"", NORMALIZE_EXECUTABLE, "--album", "-m", "90"}, files),
      &output);
  EXPECT_EQ(code, 0) << output.substr(0, 2000);
  EXPECT_TRUE(Contains(output, "album: 100 files")) << output.substr(0, 2000);
  EXPECT_EQ(Journals(dir), 0u);
}

}  // namespace
}  // namespace normalize::test
