// Albums and libraries: one gain for an album, folders as inputs, several
// files at once with their lines in order, and JSON that stays UTF-8.
#include <gtest/gtest.h>

#include <ebur128.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "cli/command_line.h"
#include "cli/input_folders.h"
#include "cli/json_writer.h"
#include "program_run.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

// --analyze --json's figure `key` of each file, in order.
std::vector<double> Figures(const std::vector<std::string>& files, const std::string& key) {
  std::vector<std::string> args = {"--analyze", "--json"};
  args.insert(args.end(), files.begin(), files.end());
  const RunResult run = RunTool(args);
  std::vector<double> figures;
  const std::regex figure("\"" + key + "\":(-?[0-9.]+)");
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_search(line, match, figure)) figures.push_back(std::stod(match[1]));
  }
  EXPECT_EQ(figures.size(), files.size()) << run.out << run.err;
  return figures;
}

// Three tracks of one album, 24-bit so that rounding moves no level.
std::vector<std::string> MakeAlbum(const ScratchDir& dir) {
  std::vector<std::string> files;
  for (const char* level : {"-30", "-20", "-12"}) {
    files.push_back(dir / (std::string("track") + level + ".wav"));
    Sox({"-D", "-n", "-r", "48000", "-c", "2", "-b", "24", files.back(), "synth", "6", "pinknoise", "gain", level});
  }
  return files;
}

double JoinedLoudness(const ScratchDir& dir, const std::vector<std::string>& files) {
  const std::string joined = dir / "joined.wav";
  Sox({files[0], files[1], files[2], joined});
  const std::vector<std::int32_t> samples = SoxSamples(joined);
  std::vector<double> decoded(samples.size());
  std::transform(samples.begin(), samples.end(), decoded.begin(), [](std::int32_t s) { return s / 2147483648.0; });
  ebur128_state* state = ebur128_init(2, 48000, EBUR128_MODE_I);
  ebur128_add_frames_double(state, decoded.data(), decoded.size() / 2);
  double integrated = 0;
  ebur128_loudness_global(state, &integrated);
  ebur128_destroy(&state);
  std::remove(joined.c_str());
  return integrated;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

void ExpectSameChange(const std::vector<double>& before, const std::vector<double>& after) {
  for (std::size_t i = 1; i < before.size(); ++i) {
    EXPECT_NEAR(after[i] - before[i], after[0] - before[0], 0.01) << "file " << i;
  }
}

TEST(NormalizeLibrary, AnAlbumGetsOneGainThatBringsTheWholeToTheTarget) {
  {
    ScratchDir dir;
    const auto files = MakeAlbum(dir);
    const auto before = Figures(files, "integrated_lufs");
    const RunResult run = RunTool(With({"--album", "--loudness", "-20"}, files));
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_EQ(run.out.substr(0, 15), "album: 3 files,") << run.out;
    ExpectSameChange(before, Figures(files, "integrated_lufs"));
    EXPECT_NEAR(JoinedLoudness(dir, files), -20, 0.2);
  }
  {
    ScratchDir dir;
    const auto files = MakeAlbum(dir);
    const auto before = Figures(files, "integrated_lufs");
    const RunResult run = RunTool(With({"--album", "--loudness", "-8", "--true-peak", "-1"}, files));
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_NE(run.out.find("held by the -1.00 dBTP true-peak ceiling"), std::string::npos) << run.out;
    ExpectSameChange(before, Figures(files, "integrated_lufs"));
    // The ceiling is held against a finer look than --analyze's 4x one, which
    // may read a little over it (Tech 3341 allows +0.2 dB).
    for (const double peak : Figures(files, "true_peak_dbtp")) EXPECT_LE(peak, -1.0 + 0.2);
  }
  {
    ScratchDir dir;
    const auto files = MakeAlbum(dir);
    const auto before = Figures(files, "sample_peak_dbfs");
    ASSERT_EQ(RunTool(With({"--album", "-m", "100"}, files)).code, ExitCode::kOk);
    const auto after = Figures(files, "sample_peak_dbfs");
    ExpectSameChange(before, after);
    EXPECT_NEAR(*std::max_element(after.begin(), after.end()), 0, 0.01);
  }
}

TEST(NormalizeLibrary, AnAlbumIsWrittenWholeOrNotAtAll) {
  ScratchDir dir;
  const auto files = MakeAlbum(dir);
  std::vector<Bytes> before;
  for (const auto& file : files) before.push_back(ReadBytes(file));
  chmod(files[1].c_str(), 0444);
  RunResult run = RunTool(With({"--album", "--loudness", "-20"}, files));
  EXPECT_EQ(run.code, ExitCode::kOutput);
  EXPECT_NE(run.err.find(files[1] + ": cannot replace"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("album: nothing written, since " + files[1]), std::string::npos) << run.err;
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(ReadBytes(files[i]), before[i]) << files[i];

  // A disk that fills while the second file is written: the first keeps its
  // new gain, the rest are as they were, and the message says which is which.
  chmod(files[1].c_str(), 0644);
  int started = 0;
  run = RunTool(With({"--album", "-m", "100", "-j", "1"}, files), [&](std::uint64_t written, std::size_t) {
    if (written == 0 && ++started == 2) throw Failure(ExitCode::kOutput, "no space left on device");
  });
  EXPECT_EQ(run.code, ExitCode::kOutput);
  EXPECT_NE(run.err.find("dB: " + files[0] + "; left as they were: " + files[1] + ", " + files[2]),
            std::string::npos) << run.err;
  EXPECT_NE(ReadBytes(files[0]), before[0]);
  EXPECT_EQ(ReadBytes(files[1]), before[1]);
  EXPECT_EQ(ReadBytes(files[2]), before[2]);
}

TEST(NormalizeLibrary, AFolderStandsForItsWavFilesAndLinksAreNotFollowed) {
  ScratchDir dir;
  const std::string root = dir / "lib";
  for (const char* folder : {"", "/sub", "/sub/deeper"}) std::filesystem::create_directory(root + folder);
  for (const char* name : {"/b.wav", "/A.WAV", "/c.Wav", "/sub/d.wav", "/sub/deeper/e.wav"}) {
    Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", root + name, "synth", "0.5", "sine", "440", "gain", "-20"});
  }
  WriteBytes(root + "/notes.txt", {'n'});
  WriteBytes(root + "/a.wav.txt", {'n'});
  std::filesystem::create_directory_symlink("..", root + "/sub/up");
  std::filesystem::create_directory_symlink(root + "/sub", root + "/again");

  const auto paths = [](const std::vector<FoundFile>& found) {
    std::vector<std::string> all;
    for (const FoundFile& file : found) all.push_back(file.problem.empty() ? file.path : file.problem);
    return all;
  };
  const std::vector<std::string> top = {root + "/A.WAV", root + "/b.wav", root + "/c.Wav"};
  EXPECT_EQ(paths(WavFilesIn(root, false)), top);
  std::vector<std::string> all = top;
  all.insert(all.end(), {root + "/sub/d.wav", root + "/sub/deeper/e.wav"});
  EXPECT_EQ(paths(WavFilesIn(root, true)), all);

  // The file named again beside its folder is worked on once.
  RunResult run = RunTool({"-m", "50", "-r", root, root + "/sub/d.wav"});
  EXPECT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5) << run.out;
  EXPECT_NE(run.err.find("is the same file as"), std::string::npos) << run.err;

  std::filesystem::create_directory(root + "/empty");
  run = RunTool({"--analyze", root + "/empty"});
  EXPECT_EQ(run.code, ExitCode::kInput);
  EXPECT_NE(run.err.find("empty: no WAV file in this folder"), std::string::npos) << run.err;
}

// Writes `bytes` at `relative` under `root`, making its folders on the way
// through descriptors, so that the whole path may be longer than the system
// takes in one name.
void MakeFileAt(const std::string& root, const std::string& relative, const Bytes& bytes) {
  int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::size_t at = 0;
  for (std::size_t slash; folder >= 0 && (slash = relative.find('/', at)) != std::string::npos; at = slash + 1) {
    const std::string name = relative.substr(at, slash - at);
    mkdirat(folder, name.c_str(), 0755);
    const int sub = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(folder);
    folder = sub;
  }
  ASSERT_GE(folder, 0) << relative;
  const int file = openat(folder, relative.substr(at).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  close(folder);
  ASSERT_GE(file, 0) << relative;
  EXPECT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(file);
}

// The "file" of each JSON line in `output`, with `root` taken off.
std::vector<std::string> JsonFiles(const std::string& output, const std::string& root) {
  std::vector<std::string> files;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const std::string start = "{\"file\":\"" + root + "/";
    if (line.compare(0, start.size(), start) == 0) {
      files.push_back(line.substr(start.size(), line.find('"', start.size()) - start.size()));
    }
  }
  return files;
}

TEST(NormalizeLibrary, WhatIsNotWorkedOnIsNamedInTheOrderGivenAndFailsTheRun) {
  const std::string deep = [] {
    std::string path;
    for (int level = 0; level < 22; ++level) path += std::string(200, 'd') + "/";
    return path;
  }();
  struct Case {
    const char* what;
    std::vector<std::string> files;   // WAV files made, under the scratch folder
    std::vector<std::string> args;    // "@" stands for the scratch folder
    std::vector<std::string> locked;  // folders no one may read
    ExitCode code;
    std::vector<std::string> lines;   // the JSON lines' files, in order
    std::vector<std::string> said;    // under the scratch folder
    std::string not_said;
  };
  const Case cases[] = {
      {"an empty folder between two files", {"a.wav", "b.wav", "empty/"}, {"@/a.wav", "@/empty", "@/b.wav"}, {},
       ExitCode::kInput, {"a.wav", "empty", "b.wav"}, {"empty: no WAV file in this folder"}, ""},
      {"a name given twice", {"a.wav"}, {"@/a.wav", "@/a.wav"}, {},
       ExitCode::kOk, {"a.wav"}, {"a.wav is the same file as "}, "another normalize run"},
      {"an unreadable subfolder", {"lib/a.wav", "lib/locked/b.wav", "lib/z.wav"}, {"-r", "@/lib"}, {"lib/locked"},
       ExitCode::kInput, {"lib/a.wav", "lib/locked", "lib/z.wav"}, {"lib/locked: cannot list this folder: "}, ""},
      {"an unreadable folder", {"locked/b.wav"}, {"@/locked"}, {"locked"},
       ExitCode::kInput, {"locked"}, {"locked: cannot list this folder: "}, "no WAV file"},
      {"a path longer than the system takes", {"a.wav", deep + "deep.wav", deep.substr(0, 201) + "mid.wav"},
       {"-r", "@"}, {}, ExitCode::kInput, {"a.wav", deep + "deep.wav", deep.substr(0, 201) + "mid.wav"},
       {deep + "deep.wav: name too long for this system"}, ""},
  };
  ScratchDir models;
  const std::string model = models / "model.wav";
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", model, "synth", "0.5", "sine", "440", "gain", "-20"});
  const Bytes wav = ReadBytes(model);
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string root = dir / "in";
    std::filesystem::create_directory(root);
    for (const std::string& file : c.files) {
      if (file.back() == '/') {
        std::filesystem::create_directories(root + "/" + file);
      } else {
        MakeFileAt(root, file, wav);
      }
    }
    for (const std::string& folder : c.locked) chmod((root + "/" + folder).c_str(), 0);
    std::vector<std::string> args = {"--analyze", "--json"};
    for (std::string arg : c.args) args.push_back(arg[0] == '@' ? root + arg.substr(1) : arg);
    std::string output;
    const int code = RunProgramUnprivileged(NORMALIZE_EXECUTABLE, args, &output);
    for (const std::string& folder : c.locked) chmod((root + "/" + folder).c_str(), 0755);
    EXPECT_EQ(code, static_cast<int>(c.code)) << c.what << "\n" << output;
    EXPECT_EQ(JsonFiles(output, root), c.lines) << c.what << "\n" << output;
    for (const std::string& text : c.said) {
      EXPECT_NE(output.find(root + "/" + text), std::string::npos) << c.what << ": " << text << "\n" << output;
    }
    if (!c.not_said.empty()) {
      EXPECT_EQ(output.find(c.not_said), std::string::npos) << c.what << "\n" << output;
    }
  }
}

// More files than may be open at once: an album holds its files open from
// measuring to writing, and the usual soft limit is far below what the system
// allows; a batch's files done ahead of a slower one wait with their lines
// only, not their inputs open, whatever the hard limit.
TEST(NormalizeLibrary, MoreFilesThanMayBeOpenAtOnceAreDone) {
  ScratchDir dir;
  const std::string model = dir / "model.wav";
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", model, "synth", "0.5", "sine", "440", "gain", "-20"});
  std::vector<std::string> files;
  for (int i = 0; i < 60; ++i) {
    files.push_back(dir / std::to_string(i).append(".wav"));
    std::filesystem::copy_file(model, files.back());
  }
  const struct {
    const char* limit;
    std::vector<std::string> command;
  } runs[] = {
      {"ulimit -S -n 32", {"--album", "-m", "100"}},
      {"ulimit -n 32", {"--analyze", "-j", "4"}},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.limit);
    std::vector<std::string> args = {"-c", std::string(run.limit) + " && exec \"$0\" \"$@\"", NORMALIZE_EXECUTABLE};
    args.insert(args.end(), run.command.begin(), run.command.end());
    args.insert(args.end(), files.begin(), files.end());
    std::string output;
    EXPECT_EQ(RunProgram("/bin/sh", args, &output), 0) << output;
  }
  EXPECT_NEAR(Figures({files.back()}, "sample_peak_dbfs")[0], 0, 0.01);
}

TEST(NormalizeLibrary, SeveralFilesAtOnceReportInTheOrderGivenEachWithItsOwnLine) {
  ScratchDir dir;
  const std::string model = dir / "model.wav";
  Sox({"-n", "-r", "8000", "-c", "2", "-b", "16", model, "synth", "0.5", "pinknoise", "gain", "-20"});
  std::vector<std::string> files;
  for (int i = 0; i < 60; ++i) {
    files.push_back(dir / (std::to_string(59 - i).append(".wav")));  // not in sorted order
    std::filesystem::copy_file(model, files.back());
  }
  WriteBytes(files[17], {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'j', 'u', 'n', 'k'});
  files[40] = dir / "caf\xE9.wav";  // Latin-1, not UTF-8
  std::filesystem::copy_file(model, files[40]);

  const RunResult run = RunTool(With({"--analyze", "--json", "-j", "4"}, files));
  EXPECT_EQ(run.code, ExitCode::kNotWav);
  std::istringstream lines(run.out);
  std::size_t i = 0;
  for (std::string line; std::getline(lines, line); ++i) {
    ASSERT_LT(i, files.size());
    const std::string name = i == 40 ? dir / "caf\xEF\xBF\xBD.wav" : files[i];
    std::string start = "{\"file\":\"";
    start.append(name).append("\"");
    EXPECT_EQ(line.substr(0, start.size()), start) << line;
    EXPECT_EQ(line.find("\"error\":") != std::string::npos, i == 17) << line;
  }
  EXPECT_EQ(i, files.size());
  // Overlong, a surrogate, beyond U+10FFFF and cut short: each byte one U+FFFD.
  std::string replaced;
  for (int n = 0; n < 11; ++n) replaced += "\xEF\xBF\xBD";
  EXPECT_EQ(JsonString("a\xC3\xA9\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82"), "\"a\xC3\xA9" + replaced + "\"");
}

TEST(NormalizeLibrary, AnInterruptedBatchLeavesNoTemporaryAndEveryInputAsItWas) {
  ScratchDir dir;
  const std::vector<std::string> files = {MakeLargeInput(dir, "a.wav"), MakeLargeInput(dir, "b.wav"),
                                          MakeLargeInput(dir, "c.wav")};
  const pid_t pid = Spawn(NORMALIZE_EXECUTABLE, With({"-a", "-6", "-b", "16", "-j", "3"}, files));
  ASSERT_TRUE(WaitForTemporary(dir, 3));
  kill(pid, SIGINT);
  EXPECT_EQ(ExitStatus(pid), static_cast<int>(ExitCode::kInterrupted));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
  for (const auto& file : files) {
    EXPECT_EQ(std::filesystem::file_size(file), 44u + (256u << 20));
    EXPECT_EQ(FirstSample(file), 1000);
  }
}

TEST(NormalizeLibrary, CommandLine) {
  const Options options = ParseCommandLine({"--album", "--loudness", "-16", "-r", "--jobs", "3", "music"});
  EXPECT_TRUE(options.album && options.recursive);
  EXPECT_EQ(options.jobs, 3);
  const std::vector<std::string> refused[] = {
      {"-j", "0", "a.wav"},         {"-j", "-2", "a.wav"},       {"-j", "two", "a.wav"},
      {"--jobs", "", "a.wav"},      {"--album", "-a", "3", "a.wav"}, {"--album", "-l", "2", "a.wav"},
      {"--album", "--analyze", "a.wav"},
  };
  for (const auto& args : refused) {
    EXPECT_THROW(ParseCommandLine(args), Failure) << args[0] << " " << args[1];
  }
}

}  // namespace
}  // namespace normalize::test
