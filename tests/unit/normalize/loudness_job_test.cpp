// The loudness options of the tool from the command line to the written file:
// --loudness reaches its target (as --analyze and libebur128 measure it), keeps
// the ceiling and every other byte; several files give one line each and the
// worst exit code, and a file named twice is worked on once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <regex>
#include <sstream>

#include "cli/command_line.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

// The input that sox writes, rebuilt with chunks before and after the data.
std::string MakeInput(const ScratchDir& dir, const std::string& name, const std::string& sox_format,
                      const std::string& synth) {
  const std::string raw = dir / ("raw-" + name);
  const auto words = [](const std::string& text) {
    std::vector<std::string> split;
    std::istringstream in(text);
    for (std::string word; in >> word;) split.push_back(word);
    return split;
  };
  std::vector<std::string> args = words("-n " + sox_format);
  args.push_back(raw);
  for (std::string& word : words(synth)) args.push_back(std::move(word));
  Sox(args);
  const Bytes bytes = ReadBytes(raw);
  const auto chunks = ListChunks(bytes);
  const auto payload = [&](const char* id) {
    const auto chunk = std::find_if(chunks.begin(), chunks.end(), [&](const FoundChunk& c) { return c.id == id; });
    EXPECT_NE(chunk, chunks.end()) << id;
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(chunk->offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(chunk->offset + chunk->size));
  };
  const RawChunk list{"LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 'c'}};
  const RawChunk trailer{"id3 ", {'I', 'D', '3', 4, 0, 0}};
  const std::string path = dir / name;
  WriteBytes(path, BuildRiff({{"fmt ", payload("fmt ")}, list, {"data", payload("data")}, trailer}));
  std::remove(raw.c_str());
  return path;
}

double Figure(const std::string& line, const std::string& key) {
  std::smatch match;
  if (!std::regex_search(line, match, std::regex("\"" + key + "\":(-?[0-9.]+)"))) {
    ADD_FAILURE() << key << " missing in " << line;
    return 0;
  }
  return std::stod(match[1]);
}

TEST(NormalizeLoudnessJob, CommandLine) {
  const Options loud = ParseCommandLine({"--loudness", "-14.5", "--true-peak", "-1", "a.wav", "b.wav"});
  EXPECT_EQ(loud.mode, Mode::kLoudness);
  EXPECT_EQ(loud.loudness_lufs, -14.5);
  EXPECT_EQ(loud.true_peak_dbtp, -1.0);
  EXPECT_EQ(loud.inputs, (std::vector<std::string>{"a.wav", "b.wav"}));
  const Options analyze = ParseCommandLine({"x.wav", "--json", "--analyze"});
  EXPECT_TRUE(analyze.analyze && analyze.json);
  const std::vector<std::string> refused[] = {
      {"--loudness", "1", "a.wav"},          {"--loudness", "-71", "a.wav"},
      {"--loudness", "-1e2", "a.wav"},       {"--loudness", "nan", "a.wav"},
      {"--true-peak", "-1", "a.wav"},        {"-m", "100", "--loudness", "-23", "a.wav"},
      {"--analyze", "-o", "b.wav", "a.wav"}, {"--analyze", "-n", "a.wav"},
      {"-o", "o.wav", "a.wav", "b.wav"},     {"--loudness", "-23", "--true-peak", "0.5", "a.wav"},
  };
  for (const auto& args : refused) {
    EXPECT_THROW(ParseCommandLine(args), Failure) << args[0] << " " << args[1];
  }
}

TEST(NormalizeLoudnessJob, ReachesTheTargetAndKeepsEverythingElse) {
  struct Case {
    const char* sox_format;
    const char* synth;
    const char* target;
    const char* ceiling;  // nullptr: none
    bool held;            // the ceiling holds the gain back
  };
  const Case cases[] = {
      {"-r 44100 -c 2 -b 16", "synth 5 pinknoise gain -30", "-23", nullptr, false},
      {"-r 48000 -c 6 -b 24", "synth 3 sine 300 sine 500 sine 700 sine 900 sine 1100 sine 1300 gain -20", "-23",
       "-1", false},
      {"-r 44100 -c 2 -e floating-point -b 32", "synth 3 sine 100 gain -3", "-1", "-1", true},
      {"-r 96000 -c 1 -b 8", "synth 3 sine 60 sine 12000 gain -6", "-3", "-2", true},
      {"-r 32000 -c 2 -b 16", "synth 3 sine 5000 0 12.5 gain -1", "-14", "-1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sox_format);
    ScratchDir dir;
    const std::string in = MakeInput(dir, "in.wav", c.sox_format, c.synth);
    const std::string out = dir / "out.wav";
    std::vector<std::string> args = {"--loudness", c.target, "-o", out, in};
    if (c.ceiling) args.insert(args.begin() + 2, {"--true-peak", c.ceiling});
    const RunResult run = RunTool(args);
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;

    const Bytes before = ReadBytes(in);
    const Bytes after = ReadBytes(out);
    ASSERT_EQ(before.size(), after.size());
    const auto chunks = ListChunks(before);
    const FoundChunk& data = chunks[2];
    ASSERT_EQ(data.id, "data");
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(data.offset), after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + static_cast<std::ptrdiff_t>(data.offset + data.size), before.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(data.offset + data.size)));

    const RunResult analyzed = RunTool({"--analyze", "--json", out});
    ASSERT_EQ(analyzed.code, ExitCode::kOk) << analyzed.err;
    EXPECT_EQ(run.out.find("held by the") != std::string::npos, c.held) << run.out;
    const double target = c.held ? std::stod(c.ceiling) : std::stod(c.target);
    const char* measured = c.held ? "true_peak_dbtp" : "integrated_lufs";
    EXPECT_NEAR(Figure(analyzed.out, measured), target, 0.1) << analyzed.out;
    if (c.ceiling) {
      EXPECT_LE(Figure(analyzed.out, "true_peak_dbtp"), std::stod(c.ceiling)) << analyzed.out;
    }

    // libebur128 agrees about the result, as sox decodes it.
    const std::size_t fmt = chunks[0].offset;
    const unsigned channels = after[fmt + 2] | after[fmt + 3] << 8;
    const unsigned rate = after[fmt + 4] | after[fmt + 5] << 8 | static_cast<unsigned>(after[fmt + 6]) << 16;
    const OracleFigures oracle = Libebur128(out, channels, rate);
    if (!c.held) {
      EXPECT_NEAR(oracle.integrated_lufs, std::stod(c.target), 0.1);
    }
    if (c.ceiling) {
      EXPECT_LE(oracle.true_peak_dbtp, std::stod(c.ceiling) + 0.1);
    }
  }
}

TEST(NormalizeLoudnessJob, SeveralFilesOneLineEachAndTheWorstExitCode) {
  ScratchDir dir;
  const std::string loud = MakeInput(dir, "loud.wav", "-r 44100 -c 2 -b 16", "synth 2 sine 1000 gain -20");
  const std::string silent = MakeInput(dir, "silent.wav", "-r 44100 -c 2 -b 16", "synth 2 sine 1000 vol 0");
  const std::string missing = dir / "missing.wav";

  const RunResult analyzed = RunTool({"--analyze", "--json", loud, silent, missing});
  EXPECT_EQ(analyzed.code, ExitCode::kInput);  // a failure outranks a file below the gate
  const std::regex line("\\{\"file\":\"[^\"]*\",\"sample_peak_dbfs\":[^,]*,\"true_peak_dbtp\":[^,]*,"
                        "\"integrated_lufs\":[^,]*,\"loudness_range_lu\":[^,}]*[,}].*\n");
  std::size_t lines = 0;
  for (std::sregex_iterator it(analyzed.out.begin(), analyzed.out.end(), line), end; it != end; ++it) ++lines;
  EXPECT_EQ(lines, 3u) << analyzed.out;
  EXPECT_NEAR(Figure(analyzed.out, "integrated_lufs"), -20, 0.1);
  EXPECT_NE(analyzed.out.find("\"integrated_lufs\":null"), std::string::npos);

  const Bytes silent_before = ReadBytes(silent);
  const Bytes loud_before = ReadBytes(loud);
  const RunResult run = RunTool({"--loudness", "-16", loud, silent});
  EXPECT_EQ(run.code, ExitCode::kBelowGate) << run.out << run.err;
  EXPECT_EQ(ReadBytes(silent), silent_before);
  EXPECT_NE(ReadBytes(loud), loud_before);
  EXPECT_NE(run.out.find("silent; no loudness to normalize, file left untouched"), std::string::npos) << run.out;
  EXPECT_EQ(RunTool({"--analyze", loud}).code, ExitCode::kOk);
  EXPECT_EQ(RunTool({"--analyze", silent}).code, ExitCode::kBelowGate);
  const std::string brief = MakeInput(dir, "brief.wav", "-r 44100 -c 2 -b 16", "synth 0.3 sine 1000 gain -20");
  const RunResult too_short = RunTool({"--loudness", "-16", brief});
  EXPECT_EQ(too_short.code, ExitCode::kBelowGate);
  EXPECT_NE(too_short.out.find("shorter than one 400 ms block; no loudness"), std::string::npos) << too_short.out;

  // One file named twice, once through a link: one gain, not three.
  const std::string tone = MakeInput(dir, "tone.wav", "-r 44100 -c 2 -b 16", "synth 2 sine 1000 gain -20");
  ASSERT_EQ(symlink("tone.wav", (dir / "link.wav").c_str()), 0);
  const RunResult twice = RunTool({"-a", "6", tone, dir / "link.wav", tone});
  EXPECT_EQ(twice.code, ExitCode::kOk) << twice.err;
  EXPECT_EQ(std::count(twice.err.begin(), twice.err.end(), '\n'), 2) << twice.err;
  EXPECT_NE(twice.err.find("link.wav is the same file as " + tone + "; it is worked on once"), std::string::npos)
      << twice.err;
  EXPECT_NEAR(Figure(RunTool({"--analyze", "--json", tone}).out, "sample_peak_dbfs"), -14, 0.1);
}

}  // namespace
}  // namespace normalize::test
