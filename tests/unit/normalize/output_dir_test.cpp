// --output-dir: a library's results beside it, the originals untouched, a
// rerun that writes nothing, and the folders it must not take.
#include <gtest/gtest.h>

#include <filesystem>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

namespace fs = std::filesystem;

struct Library {
  ScratchDir dir;
  std::string lib = dir / "lib";
  std::vector<std::string> files = {lib + "/a.wav", lib + "/disc 2/b.wav", lib + "/disc 2/deeper/c.wav"};
  Library() {
    fs::create_directories(lib + "/disc 2/deeper");
    int level = -14;
    for (const std::string& file : files) {
      Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", file, "synth", "1", "pinknoise", "gain", std::to_string(level)});
      level -= 7;
    }
  }
  std::vector<Bytes> Contents(const std::vector<std::string>& paths) const {
    std::vector<Bytes> all;
    for (const std::string& path : paths) all.push_back(fs::exists(path) ? ReadBytes(path) : Bytes{});
    return all;
  }
  std::vector<std::string> Outputs(const std::string& out) const {
    return {out + "/a.wav", out + "/disc 2/b.wav", out + "/disc 2/deeper/c.wav"};
  }
};

TEST(NormalizeOutputDir, ResultsMirrorTheLibraryAndARerunWritesNothing) {
  for (const bool album : {false, true}) {
    SCOPED_TRACE(album ? "album" : "each file");
    Library library;
    const auto originals = library.Contents(library.files);
    const std::string out = library.dir / "out/normalized";
    std::vector<std::string> args = {"-r", "--loudness", "-20", "--output-dir", out, library.lib};
    if (album) args.insert(args.begin(), "--album");

    // A dry run makes no folder.
    std::vector<std::string> dry = args;
    dry.insert(dry.begin(), "-n");
    EXPECT_EQ(RunTool(dry).code, ExitCode::kOk);
    EXPECT_FALSE(fs::exists(library.dir / "out"));

    RunResult run = RunTool(args);
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_EQ(library.Contents(library.files), originals);
    const auto outputs = library.Outputs(out);
    const auto results = library.Contents(outputs);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      EXPECT_NE(run.out.find("written to " + outputs[i]), std::string::npos) << run.out;
      EXPECT_GT(results[i].size(), 44u);
      if (!album) {
        EXPECT_NEAR(Libebur128(outputs[i], 1, 8000).integrated_lufs, -20, 0.1) << outputs[i];
      }
    }

    // The same command again: every result is there already, and stays as it was.
    const auto times = [&] {
      std::vector<fs::file_time_type> all;
      for (const std::string& path : outputs) all.push_back(fs::last_write_time(path));
      return all;
    };
    const auto written_at = times();
    run = RunTool(args);
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_EQ(library.Contents(outputs), results);
    EXPECT_EQ(times(), written_at);
    EXPECT_NE(run.out.find("its result is in " + outputs[1] + " already; left as it was"), std::string::npos)
        << run.out;
    // An input changed since: its result is written again, the others stay
    // (of an album, whose gain it changes, every result is new).
    Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", library.files[0], "synth", "1", "sine", "500", "gain", "-9"});
    ASSERT_EQ(RunTool(args).code, ExitCode::kOk);
    const auto again = library.Contents(outputs);
    EXPECT_NE(again[0], results[0]);
    EXPECT_EQ(again[2] == results[2], !album);
    // Nothing else in the output folder: no temporary, no journal.
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) files += entry.is_regular_file();
    EXPECT_EQ(files, outputs.size());
  }
}

TEST(NormalizeOutputDir, AnAlbumWithAFileThatFailsWritesNoResult) {
  Library library;
  WriteBytes(library.lib + "/disc 2/broken.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
  const std::string out = library.dir / "out";
  const RunResult run = RunTool({"--album", "-r", "--loudness", "-20", "--output-dir", out, library.lib});
  EXPECT_NE(run.code, ExitCode::kOk);
  for (const std::string& output : library.Outputs(out)) EXPECT_FALSE(fs::exists(output)) << output;
}

TEST(NormalizeOutputDir, RefusesFoldersThatWouldMixResultsWithInputs) {
  Library library;
  fs::create_directories(library.dir / "other");
  fs::copy_file(library.files[0], library.dir / "other/a.wav");
  const auto originals = library.Contents(library.files);
  const std::string& lib = library.lib;
  const struct {
    std::vector<std::string> args;
    ExitCode code;
    std::string says;
  } cases[] = {
      {{"-r", "--output-dir", lib + "/disc 2/normalized", lib}, ExitCode::kUsage, "which -r walks"},
      {{"--output-dir", lib, lib}, ExitCode::kUsage, "is the folder '" + lib + "' itself"},
      {{"--output-dir", lib + "/disc 2", library.files[1]}, ExitCode::kUsage, "would be its own output"},
      {{"--output-dir", library.dir / "out", library.files[0], library.dir / "other/a.wav"}, ExitCode::kUsage,
       "would both be written to '" + library.dir / "out/a.wav'"},
      {{"-o", library.dir / "x.wav", "--output-dir", library.dir / "out", library.files[0]}, ExitCode::kUsage,
       "give one"},
      {{"--analyze", "--output-dir", library.dir / "out", lib}, ExitCode::kUsage, "takes no"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const RunResult run = RunTool(c.args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_EQ(library.Contents(library.files), originals);
  EXPECT_FALSE(fs::exists(library.dir / "out"));
  EXPECT_FALSE(fs::exists(lib + "/disc 2/normalized"));
}

}  // namespace
}  // namespace normalize::test
