// Random sequences of runs of an album (whole, or stopped as a track's
// temporary is begun or just before it is renamed into place), of damage to
// its journal, of giving it up, of renaming or replacing a track and of
// changing the command, each held against a model of what every file must
// hold: its original or the uninterrupted album's result, never a mixture of
// two gains.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

const std::vector<std::vector<std::string>> kCommands = {{"--album", "-m", "90", "-j", "1"},
                                                        {"--album", "--loudness", "-20", "-j", "1"}};

std::string Journal(const ScratchDir& dir) {
  for (const std::string& name : dir.Names()) {
    if (name.rfind(".normalize-album-", 0) == 0) return dir / name;
  }
  return "";
}

RunResult RunAlbum(const std::vector<std::string>& command, const std::vector<std::string>& files, int stop_at,
              bool before_rename) {
  std::vector<std::string> args = command;
  args.insert(args.end(), files.begin(), files.end());
  int begun = 0;
  int renaming = 0;
  return RunTool(
      args,
      [&](std::uint64_t written, std::size_t) {
        if (!before_rename && written == 0 && ++begun == stop_at) throw Failure(ExitCode::kOutput, "stopped");
      },
      true,
      [&](const std::string&) {
        if (before_rename && ++renaming == stop_at) throw Failure(ExitCode::kOutput, "stopped");
      });
}

TEST(NormalizeJournalModel, RandomRunsStopsAndDamageHoldToTheModel) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const auto pick = [&](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
  ScratchDir models;
  std::vector<Bytes> originals;
  for (int i = 0; i < 3; ++i) {
    const std::string model = models / ("t" + std::to_string(i) + ".wav");
    Sox({"-D", "-n", "-r", "8000", "-c", "1", "-b", "16", model, "synth", "1", "pinknoise", "gain",
         std::to_string(-14 - 6 * i)});
    originals.push_back(ReadBytes(model));
  }
  // What each command's uninterrupted album writes.
  std::vector<std::vector<Bytes>> results;
  for (const auto& command : kCommands) {
    ScratchDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
      files.push_back(dir / ("t" + std::to_string(i) + ".wav"));
      WriteBytes(files.back(), originals[i]);
    }
    EXPECT_EQ(RunAlbum(command, files, 0, false).code, ExitCode::kOk);
    results.emplace_back();
    for (const auto& file : files) results.back().push_back(ReadBytes(file));
  }
  for (int sequence = 0; sequence < 8; ++sequence) {
    ScratchDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
      files.push_back(dir / ("t" + std::to_string(i) + ".wav"));
      WriteBytes(files.back(), originals[i]);
    }
    // The model: each file's result of command holds[i] (-1: its original),
    // the command of the journal beside them (-1: none), whether it was damaged.
    std::vector<int> holds(3, -1);
    int journal = -1;
    bool damaged = false;
    for (int step = 0; step < 6; ++step) {
      const int action = pick(6);
      std::string what = "sequence " + std::to_string(sequence) + " step " + std::to_string(step) + ": ";
      if (action <= 2) {  // a run, whole or stopped
        const int command = pick(2);
        const int stop_at = action == 0 ? 0 : 1 + pick(3);
        const bool before_rename = action == 2;
        const bool done = journal < 0 && holds[0] >= 0;
        if (done) break;  // a second album over the first's results is no longer this model's
        const RunResult run = RunAlbum(kCommands[command], files, stop_at, before_rename);
        what += "run " + kCommands[command][2] + " stopped at " + std::to_string(stop_at) +
                (before_rename ? " before the rename" : "") + "\n" + run.err;
        if (damaged || (journal >= 0 && journal != command)) {
          EXPECT_EQ(run.code, ExitCode::kBusy) << what;
        } else {
          // The tracks not yet written, in order, up to the stop.
          int written = 0;
          bool stopped = false;
          for (int& held : holds) {
            if (held >= 0) continue;
            if (stop_at > 0 && ++written == stop_at) {
              stopped = true;
              break;
            }
            held = command;
          }
          EXPECT_EQ(run.code, stopped ? ExitCode::kOutput : ExitCode::kOk) << what;
          journal = stopped ? command : -1;
        }
      } else if (action == 3 && journal >= 0) {  // the journal damaged or cut short
        const Bytes bytes = ReadBytes(Journal(dir));
        WriteBytes(Journal(dir), pick(2) ? Bytes(bytes.begin(), bytes.begin() + pick(static_cast<int>(bytes.size())))
                                         : Bytes(200, static_cast<unsigned char>(pick(256))));
        damaged = true;
        what += "journal damaged";
      } else if (action == 4 && journal >= 0) {  // given up: mixed gains are the user's choice now
        std::filesystem::remove(Journal(dir));
        break;
      } else if (action == 5) {  // a track renamed, and named so: the same track
        const int track = pick(3);
        const std::string renamed = dir / ("renamed " + std::to_string(step) + ".wav");
        std::filesystem::rename(files[track], renamed);
        files[track] = renamed;
        what += "renamed " + std::to_string(track);
      }
      SCOPED_TRACE(what);
      for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(ReadBytes(files[i]) == (holds[i] < 0 ? originals[i] : results[holds[i]][i])) << "track " << i;
      }
      EXPECT_EQ(!Journal(dir).empty(), journal >= 0);
      for (const std::string& name : dir.Names()) EXPECT_EQ(name.find(".nrm-"), std::string::npos) << name;
    }
  }
}

TEST(NormalizeJournalModel, AReplacedTrackOrAReusedFileNumberIsNeverTakenForATrack) {
  ScratchDir dir;
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    files.push_back(dir / ("t" + std::to_string(i) + ".wav"));
    Sox({"-D", "-n", "-r", "8000", "-c", "1", "-b", "16", files.back(), "synth", "1", "pinknoise", "gain",
         std::to_string(-14 - 6 * i)});
  }
  ASSERT_EQ(RunAlbum(kCommands[0], files, 2, false).code, ExitCode::kOutput);
  // The third track deleted and others made in its place: whatever number
  // the system gives them, they are not the album's.
  const Bytes third = ReadBytes(files[2]);
  std::filesystem::remove(files[2]);
  for (int i = 0; i < 4; ++i) {
    const std::string other = dir / ("other" + std::to_string(i) + ".wav");
    Sox({"-D", "-n", "-r", "8000", "-c", "1", "-b", "16", other, "synth", "1", "sine", "300"});
    const RunResult run = RunTool({"-m", "90", other});
    EXPECT_EQ(run.code, ExitCode::kOk) << run.err;
  }
  // The third back by its name, as another file with the same bytes: the
  // rerun leaves it as it is.
  WriteBytes(files[2], third);
  const RunResult finish = RunAlbum(kCommands[0], files, 0, false);
  EXPECT_EQ(finish.code, ExitCode::kInput) << finish.err;
  EXPECT_NE(finish.err.find(files[2] + ": changed since the album"), std::string::npos) << finish.err;
  EXPECT_EQ(ReadBytes(files[2]), third);
  EXPECT_FALSE(Journal(dir).empty());
}

}  // namespace
}  // namespace normalize::test
