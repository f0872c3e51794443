// The promise "the input is untouched unless a good result replaces it", tried
// as a hostile user would: odd samples, odd targets, links, protection, planted
// and stale temporaries, signals and a second run, each on real files, and
// where it takes one, the real program in a process of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

#include "program_run.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

template <typename T>
Bytes FloatWav(const std::vector<T>& samples) {
  Bytes data(samples.size() * sizeof(T));
  std::memcpy(data.data(), samples.data(), data.size());
  return BuildRiff({{"fmt ", PcmFmt(3, 1, sizeof(T) * 8)}, {"data", data}});
}

template <typename T>
std::vector<T> FloatsOf(const Bytes& file) {
  const FoundChunk data = ListChunks(file).back();
  std::vector<T> samples(data.size / sizeof(T));
  std::memcpy(samples.data(), &file[data.offset], data.size);
  return samples;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(NormalizeSafety, NonFiniteSamplesAreKeptAndLeftOutOfThePeak) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> samples = {0.25f, -0.5f, inf, -inf, nan, 0.125f};
  const struct {
    std::vector<std::string> args;
    float factor;
    const char* summary;
  } cases[] = {
      {{"-m", "100"}, 2.0f, "gain +6.02 dB, 0 clipped"},
      {{"-l", "-1"}, -1.0f, "gain +0.00 dB, polarity inverted, 0 clipped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ScratchDir dir;
    WriteBytes(dir / "in.wav", FloatWav(samples));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", dir / "out.wav", dir / "in.wav"});
    const RunResult run = RunTool(args);
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_NE(run.err.find("3 samples are NaN or infinite"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find(c.summary), std::string::npos) << run.out;
    const auto out = FloatsOf<float>(ReadBytes(dir / "out.wav"));
    ASSERT_EQ(out.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      EXPECT_TRUE(SameBits(out[i], std::isfinite(samples[i]) ? samples[i] * c.factor : samples[i])) << i << ": " << out[i];
    }
  }

  // A finite peak so small that the gain would not be finite: refused, untouched.
  ScratchDir dir;
  const Bytes tiny = FloatWav(std::vector<double>{1e-310, -5e-311, 0});
  WriteBytes(dir / "in.wav", tiny);
  const RunResult quiet = RunTool({"-m", "100", dir / "in.wav"});
  EXPECT_EQ(quiet.code, ExitCode::kSilent);
  EXPECT_NE(quiet.out.find("below -144 dBFS"), std::string::npos) << quiet.out;
  EXPECT_EQ(ReadBytes(dir / "in.wav"), tiny);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});

  // A finite product beyond the type's range is clamped, never made infinite.
  WriteBytes(dir / "loud.wav", FloatWav(std::vector<float>{1e36f, -1e36f, 1.0f}));
  const RunResult loud = RunTool({"-a", "60", dir / "loud.wav"});
  ASSERT_EQ(loud.code, ExitCode::kOk) << loud.err;
  EXPECT_NE(loud.out.find("2 clipped"), std::string::npos) << loud.out;
  const float largest = std::numeric_limits<float>::max();
  EXPECT_EQ(FloatsOf<float>(ReadBytes(dir / "loud.wav")), (std::vector<float>{largest, -largest, 1000.0f}));

  // Samples near the float range's end: with a true-peak ceiling the gain
  // still brings them to the target's level, never to zero (a silent result).
  std::vector<float> huge(8000);
  for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = (i % 2 ? -3e38f : 3e38f) * (i % 3 ? 0.9f : 1.0f);
  WriteBytes(dir / "huge.wav", FloatWav(huge));
  const RunResult held = RunTool({"--loudness", "-23", "--true-peak", "-1", dir / "huge.wav"});
  ASSERT_EQ(held.code, ExitCode::kOk) << held.err;
  EXPECT_EQ(held.out.find("-inf"), std::string::npos) << held.out;
  const auto result = FloatsOf<float>(ReadBytes(dir / "huge.wav"));
  float result_peak = 0;
  for (const float sample : result) result_peak = std::max(result_peak, std::fabs(sample));
  EXPECT_GT(result_peak, 0.01f);
  EXPECT_LT(result_peak, 0.89f);

  // The loudness measures them as silence, and says so.
  WriteBytes(dir / "odd.wav", FloatWav(samples));
  const RunResult analyzed = RunTool({"--analyze", dir / "odd.wav"});
  EXPECT_NE(analyzed.err.find("3 samples are NaN or infinite; the loudness measures them as silence"),
            std::string::npos)
      << analyzed.err;
}

std::string MakeTone(const ScratchDir& dir, const std::string& name) {
  const std::string path = dir / name;
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", path, "synth", "0.5", "sine", "300", "gain", "-10"});
  return path;
}

TEST(NormalizeSafety, TargetsThatAreNotRegularFilesAreRefusedUnread) {
  ScratchDir dir;
  const std::string in = MakeTone(dir, "in.wav");
  const Bytes original = ReadBytes(in);
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "broken").c_str()), 0);
  const struct {
    std::vector<std::string> args;
    ExitCode code;
    const char* message;
  } cases[] = {
      {{"-o", dir / "pipe", in}, ExitCode::kOutput, "not a regular file"},
      {{"-o", "/dev/null", in}, ExitCode::kOutput, "not a regular file"},
      {{"-o", dir / "broken", in}, ExitCode::kOutput, "not a regular file"},
      // A FIFO as the input, in place or not, is never opened to wait for a writer.
      {{dir / "pipe"}, ExitCode::kOutput, "not a regular file"},
      {{"-o", dir / "out.wav", dir / "pipe"}, ExitCode::kInput, "not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[c.args.size() > 1 ? 1 : 0]);
    std::vector<std::string> args = {"-a", "3"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = RunTool(args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(in), original);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"broken", "in.wav", "pipe"}));
    struct stat info {};
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    ASSERT_EQ(lstat((dir / "pipe").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
  }
}

TEST(NormalizeSafety, LinksOwnerAndProtectionAreRespectedInPlace) {
  ScratchDir dir;
  const std::string real = MakeTone(dir, "real.wav");
  const Bytes original = ReadBytes(real);
  struct stat info {};

  // A symbolic link: the file it leads to changes, the link stays a link.
  ASSERT_EQ(symlink("real.wav", (dir / "link.wav").c_str()), 0);
  RunResult run = RunTool({"-a", "-6", dir / "link.wav"});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  ASSERT_EQ(lstat((dir / "link.wav").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(ReadBytes(real), original);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.wav", "real.wav"}));

  // A second hard link, or no write permission: refused, untouched.
  const Bytes changed = ReadBytes(real);
  ASSERT_EQ(link(real.c_str(), (dir / "other.wav").c_str()), 0);
  run = RunTool({"-a", "-6", real});
  EXPECT_EQ(run.code, ExitCode::kOutput);
  EXPECT_NE(run.err.find("2 hard links"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("-o"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(real), changed);
  ASSERT_EQ(unlink((dir / "other.wav").c_str()), 0);

  ASSERT_EQ(chmod(real.c_str(), 0444), 0);
  run = RunTool({"-a", "-6", dir / "link.wav"});
  EXPECT_EQ(run.code, ExitCode::kOutput);
  EXPECT_NE(run.err.find("read-only"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(real), changed);
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.wav", "real.wav"}));

  // Owner, group and mode survive where the process may keep them (as root, all).
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(real.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  const struct stat before = info;
  run = RunTool({"-a", "-6", real});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_NE(info.st_ino, before.st_ino);  // really replaced
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_uid, before.st_uid);
  EXPECT_EQ(info.st_gid, before.st_gid);
}

TEST(NormalizeSafety, TemporariesAreFreshPrivateAndCleanedUp) {
  ScratchDir dir;
  // A name at the system's limit still works in place.
  const std::string in = MakeTone(dir, std::string(246, 'n') + ".wav");
  const Bytes original = ReadBytes(in);
  std::vector<std::string> during;
  mode_t temporary_mode = 0;
  const WriteHook look = [&](std::uint64_t written, std::size_t) {
    if (written != 0) return;
    during = dir.Names();
    for (const std::string& name : during) {
      struct stat info {};
      if (name.find(".nrm-") != std::string::npos && stat((dir / name).c_str(), &info) == 0) temporary_mode = info.st_mode & 0777;
    }
  };
  RunResult run = RunTool({"-a", "-6", in}, look);
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  ASSERT_EQ(during.size(), 2u);
  EXPECT_LE(during[0].size(), 255u);
  EXPECT_LE(during[1].size(), 255u);
  EXPECT_EQ(temporary_mode, 0600u);  // nobody else reads a half-written result
  EXPECT_EQ(dir.Names().size(), 1u);
  EXPECT_NE(ReadBytes(in), original);

  // Two runs never pick the same temporary name.
  std::vector<std::string> names;
  for (int i = 0; i < 2; ++i) {
    RunTool({"-a", "-1", in}, [&](std::uint64_t written, std::size_t) {
      for (const std::string& name : dir.Names()) {
        if (written == 0 && name.find(".nrm-") != std::string::npos) names.push_back(name);
      }
    });
  }
  ASSERT_EQ(names.size(), 2u);
  EXPECT_NE(names[0], names[1]);

  // Debris of a killed run is removed; a live run's temporary and other files stay.
  ScratchDir folder;
  const std::string tone = MakeTone(folder, "t.wav");
  WriteBytes(folder / "t.wav.nrm-0123456789ab.tmp", {1, 2, 3});
  WriteBytes(folder / "t.wav.nrm-aaaaaaaaaaaa.tmp", {1});
  WriteBytes(folder / "t.wav.nrm-note.tmp", {4});
  const int live = open((folder / "t.wav.nrm-aaaaaaaaaaaa.tmp").c_str(), O_RDONLY);
  ASSERT_GE(live, 0);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  run = RunTool({"-a", "-6", tone});
  close(live);
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"t.wav", "t.wav.nrm-aaaaaaaaaaaa.tmp", "t.wav.nrm-note.tmp"}));
}

pid_t Start(const std::vector<std::string>& args) { return Spawn(NORMALIZE_EXECUTABLE, args); }

TEST(NormalizeSafety, InterruptionRemovesTheTemporaryAndAKilledRunsDebrisGoesNextTime) {
  ScratchDir dir;
  const std::string in = MakeLargeInput(dir);
  const auto size = std::filesystem::file_size(in);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    const pid_t pid = Start({"-a", "-6", "-b", "16", in});
    ASSERT_TRUE(WaitForTemporary(dir));
    kill(pid, signal);
    EXPECT_EQ(ExitStatus(pid), static_cast<int>(ExitCode::kInterrupted));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"large.wav"});
    EXPECT_EQ(std::filesystem::file_size(in), size);
    EXPECT_EQ(FirstSample(in), 1000);
  }
  // SIGKILL leaves the temporary; the next run on the file removes it.
  const pid_t pid = Start({"-a", "-6", "-b", "16", in});
  ASSERT_TRUE(WaitForTemporary(dir));
  kill(pid, SIGKILL);
  ExitStatus(pid);
  EXPECT_EQ(dir.Names().size(), 2u);
  EXPECT_EQ(ExitStatus(Start({"-a", "-6", in})), 0);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"large.wav"});
  EXPECT_EQ(FirstSample(in), 501);
}

TEST(NormalizeSafety, ASecondRunOnTheSameFileIsRefusedNotLost) {
  ScratchDir dir;
  const std::string in = MakeLargeInput(dir);
  const pid_t first = Start({"-a", "-6", "-b", "16", in});
  ASSERT_TRUE(WaitForTemporary(dir));
  kill(first, SIGSTOP);  // caught in the middle of its work
  std::string said;
  const int second = RunProgram(NORMALIZE_EXECUTABLE, {"-a", "-6", in}, &said);
  kill(first, SIGCONT);
  EXPECT_EQ(second, static_cast<int>(ExitCode::kBusy)) << said;
  EXPECT_NE(said.find("another normalize run is working on this file"), std::string::npos) << said;
  EXPECT_EQ(ExitStatus(first), 0);
  EXPECT_EQ(FirstSample(in), 501);  // one -6 dB, and it is the one reported
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"large.wav"});
}

}  // namespace
}  // namespace normalize::test
