// An album stopped part way, then met by reruns that mean the same or another
// thing, by journals that cannot be read, by its tracks named another way, by
// a second run at once and by folders and outputs that fail: nothing written
// twice, nothing half done, nothing unsaid.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <regex>
#include <sstream>

#include "cli/command_line.h"
#include "job/album_journal.h"
#include "job/job.h"
#include "job/run_ledger.h"
#include "program_run.h"
#include "wav/input_file.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

// Three 16-bit tracks at three levels in `dir`, named as in every folder.
std::vector<std::string> Tracks(const ScratchDir& dir, const std::string& folder = "") {
  std::vector<std::string> files;
  if (!folder.empty()) std::filesystem::create_directories(dir / folder);
  for (int i = 0; i < 3; ++i) {
    files.push_back(dir / (folder + "t" + std::to_string(i) + ".wav"));
    Sox({"-D", "-n", "-r", "8000", "-c", "1", "-b", "16", files.back(), "synth", "2", "pinknoise", "gain",
         std::to_string(-14 - 6 * i)});
  }
  return files;
}

std::string JournalIn(const ScratchDir& dir, const std::string& folder = "") {
  for (const auto& entry : std::filesystem::directory_iterator(dir / folder)) {
    if (entry.path().filename().string().rfind(".normalize-album-", 0) == 0) return entry.path().string();
  }
  return "";
}

// `command` stopped by a full disk as its second track begins.
void StopAfterFirst(const std::vector<std::string>& command) {
  int started = 0;
  const RunResult run = RunTool(command, [&](std::uint64_t written, std::size_t) {
    if (written == 0 && ++started == 2) throw Failure(ExitCode::kOutput, "no space left on device");
  });
  ASSERT_EQ(run.code, ExitCode::kOutput) << run.err;
}

std::vector<Bytes> Contents(const std::vector<std::string>& files) {
  std::vector<Bytes> contents;
  for (const auto& file : files) contents.push_back(ReadBytes(file));
  return contents;
}

TEST(NormalizeAlbumJournal, ARerunThatMeansAnotherThingOrAJournalThatCannotBeReadIsRefused) {
  const std::vector<std::string> album = {"--album", "-m", "90", "-j", "1"};
  struct Case {
    const char* what;
    std::vector<std::string> rerun;  // the tracks follow
    void (*spoil)(const std::string& journal);
  };
  const Case cases[] = {
      {"another mode", {"--album", "--loudness", "-23", "-j", "1"}, nullptr},
      {"another percentage", {"--album", "-m", "50", "-j", "1"}, nullptr},
      {"another dither", {"--album", "-m", "90", "--dither", "none"}, nullptr},
      {"a garbage journal", album, [](const std::string& journal) { WriteBytes(journal, Bytes(300, 0xA5)); }},
      {"an empty journal", album, [](const std::string& journal) { WriteBytes(journal, {}); }},
      {"a journal cut short", album, [](const std::string& journal) {
         Bytes bytes = ReadBytes(journal);
         bytes.resize(bytes.size() / 2);
         WriteBytes(journal, bytes);
       }},
      {"a file alone of the album", {"-m", "90"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const auto files = Tracks(dir);
    StopAfterFirst(With(album, files));
    const std::string journal = JournalIn(dir);
    ASSERT_FALSE(journal.empty());
    if (c.spoil) c.spoil(journal);
    const auto half = Contents(files);
    const RunResult run = RunTool(With(c.rerun, c.rerun[0] == "-m" ? std::vector<std::string>{files[2]} : files));
    EXPECT_EQ(run.code, ExitCode::kBusy) << run.out << run.err;
    EXPECT_TRUE(Contains(run.err, journal)) << run.err;
    if (!c.spoil) {
      EXPECT_TRUE(Contains(run.err, "begun by 'normalize --album -m 90 -j 1 ")) << run.err;
    }
    EXPECT_EQ(Contents(files), half);
    EXPECT_EQ(JournalIn(dir), journal);
  }
}

TEST(NormalizeAlbumJournal, AFinishedAlbumIsTheAlbumAnUninterruptedRunWrites) {
  // The first run stopped with or without --json; the rerun always with it.
  const struct {
    std::vector<std::string> mode;
    bool stopped_json;
  } cases[] = {
      {{"-m", "90"}, false},
      {{"--loudness", "-16"}, true},
      {{"--loudness", "-9", "--true-peak", "-1", "--limit"}, true},
  };
  for (const auto& [mode, stopped_json] : cases) {
    SCOPED_TRACE(mode.back());
    ScratchDir dir;
    const auto files = Tracks(dir, "a/");
    const auto same = Tracks(dir, "b/");
    for (std::size_t i = 0; i < files.size(); ++i) WriteBytes(same[i], ReadBytes(files[i]));
    const std::vector<std::string> command = With({"--album", "-j", "1"}, mode);
    auto json = command;
    json.push_back("--json");
    StopAfterFirst(With(stopped_json ? json : command, files));
    // Named another way, the same album: "a/./t0.wav" is "a/t0.wav".
    std::vector<std::string> spelled;
    for (const auto& file : files) spelled.push_back((std::filesystem::path(file).parent_path() / "." /
                                                      std::filesystem::path(file).filename()).string());
    const RunResult finished = RunTool(With(json, spelled));
    ASSERT_EQ(finished.code, ExitCode::kOk) << finished.err;
    EXPECT_TRUE(Contains(finished.err, "finishing the album")) << finished.err;
    const RunResult whole = RunTool(With(json, same));
    ASSERT_EQ(whole.code, ExitCode::kOk) << whole.err;
    EXPECT_EQ(Contents(files), Contents(same));
    EXPECT_EQ(JournalIn(dir, "a"), "");
    // Every line is the uninterrupted run's, also the written track's where
    // the first run said it in the same form; otherwise that line says it
    // was written before.
    std::vector<std::string> lines[2];
    for (int run = 0; run < 2; ++run) {
      std::istringstream text(run ? whole.out : finished.out);
      for (std::string line; std::getline(text, line);) {
        lines[run].push_back(std::regex_replace(line, std::regex("[^\"]*/(a|b)/(\\./)?"), ""));
      }
    }
    ASSERT_EQ(lines[0].size(), 4u) << finished.out;
    if (!stopped_json) {
      EXPECT_TRUE(Contains(lines[0][1], "already written with the album's gain")) << lines[0][1];
      lines[0][1] = lines[1][1];
    }
    EXPECT_EQ(lines[0], lines[1]);
  }
}

TEST(NormalizeAlbumJournal, AnAlbumThatCannotBeWrittenWholeWritesNothing) {
  // A track in a folder that takes no new file: nothing written, no journal.
  ScratchDir dir;
  const auto open = Tracks(dir, "open/");
  const auto shut = Tracks(dir, "shut/");
  for (const auto& path : {dir / "", dir / "open", dir / "shut"}) chmod(path.c_str(), 0777);
  for (const auto& file : open) chmod(file.c_str(), 0666);
  for (const auto& file : shut) chmod(file.c_str(), 0666);
  chmod((dir / "shut").c_str(), 0555);
  const auto before = Contents(open);
  std::string output;
  const int code = RunProgramUnprivileged(NORMALIZE_EXECUTABLE, {"--album", "-m", "90", open[0], open[1], shut[0]},
                                          &output);
  chmod((dir / "shut").c_str(), 0755);
  EXPECT_EQ(code, static_cast<int>(ExitCode::kOutput)) << output;
  EXPECT_TRUE(Contains(output, "album: nothing written: cannot create '" + shut[0])) << output;
  EXPECT_EQ(Contents(open), before);
  EXPECT_EQ(JournalIn(dir, "open"), "");

  // Another run holding a track: refused at once, nothing measured or written.
  InputFile held(open[1]);
  const RunResult run = RunTool(With({"--album", "-m", "90"}, open));
  EXPECT_EQ(run.code, ExitCode::kBusy);
  EXPECT_TRUE(Contains(run.err, "album: nothing written: " + open[1] + ": another normalize run")) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Contents(open), before);
}

// An output that takes `room` bytes, then fails as a full disk does.
class FillingOutput : public std::streambuf {
 public:
  explicit FillingOutput(std::size_t room) : room_(room) {}
  std::string taken;

 private:
  int overflow(int c) override {
    if (taken.size() == room_) {
      errno = ENOSPC;
      return traits_type::eof();
    }
    taken += static_cast<char>(c);
    return c;
  }
  std::size_t room_;
};

TEST(NormalizeAlbumJournal, AnAlbumThatBeganWritingFinishesWhenItsOutputFails) {
  ScratchDir dir;
  const auto files = Tracks(dir);
  const auto before = Contents(files);
  // Room for the album's line and a little of the first track's.
  FillingOutput filling(200);
  std::ostream out(&filling);
  std::ostringstream err;
  JobConsole console{out, err};
  std::vector<std::string> stops;
  console.stop_run = [&](const std::string& why) {
    stops.push_back(why);
    // Only once the album is whole.
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_NE(ReadBytes(files[i]), before[i]) << files[i];
  };
  errno = ENOENT;  // what an earlier call left
  RunJob(ParseCommandLine(With({"--album", "-m", "90", "-j", "1", "--json"}, files)), console);
  EXPECT_EQ(stops, std::vector<std::string>{"cannot write the output: No space left on device"}) << err.str();
  EXPECT_TRUE(Contains(filling.taken, "{\"album\":true")) << filling.taken;
  EXPECT_EQ(JournalIn(dir), "");
}

TEST(NormalizeAlbumJournal, AnInterruptionNamesEveryFileWrittenAlsoWhereItsLineWasPassedOn) {
  RunLedger ledger({"a.wav", "b.wav", "c.wav"});
  ledger.Written(0, 3.5);
  ledger.PassedOn(0);
  ledger.PassedOn(1);
  ledger.SetClosingNote("the album is unfinished");
  EXPECT_EQ(ledger.DoneSoFar(), "normalize: a.wav: written with gain +3.50 dB\n"
                                "normalize: left as it was: c.wav\n"
                                "normalize: the album is unfinished\n");
}

TEST(NormalizeAlbumJournal, ATrackIsItsNameOrItsWholeIdentityNeverAReusedFileNumber) {
  ScratchDir dir;
  const std::string path = dir / ".normalize-album-0000000000000001.journal";
  const std::string head = "normalize album journal 2\ncommand normalize --album -m 90 x\nmeaning -m 90 --dither tpdf\n"
                           "plan 2 6.0206 - 1\nfigures peak -6.02 dBFS\nlevels -6.02 - -\n"
                           "track 5:77:1000:123 -16384 16383 x/a.wav\ntrack 5:78:1000:123 - - x/b.wav\nend\n";
  WriteBytes(path, Bytes(head.begin(), head.end()));
  const AlbumJournal journal = AlbumJournal::Read(path);
  ASSERT_EQ(journal.state(), AlbumJournal::State::kStopped) << journal.unreadable_because();
  EXPECT_EQ(journal.album().decision.plan->BoundsOf(0), (SampleBounds{-16384, 16383}));
  EXPECT_EQ(journal.album().decision.plan->BoundsOf(1), std::nullopt);
  const auto at = [](std::string file, std::int64_t modified) {
    return std::optional<platform::FileIdentity>(platform::FileIdentity{std::move(file), 1000, modified});
  };
  EXPECT_EQ(journal.TrackOf("x/./a.wav", std::nullopt), 0u);
  EXPECT_EQ(journal.TrackOf("y/../x/b.wav", std::nullopt), 1u);
  EXPECT_EQ(journal.TrackOf("other.wav", at("5:77", 123)), 0u);
  EXPECT_EQ(journal.TrackOf("other.wav", at("5:77", 124)), std::nullopt);
  // A result line cut short by a power failure is no result; a whole one is.
  WriteBytes(path, Bytes(head.begin(), head.end()));
  const std::string results = "result 1 5:90:2000:0\nresult 0 5:9";
  std::FILE* file = std::fopen(path.c_str(), "ab");
  std::fputs(results.c_str(), file);
  std::fclose(file);
  const AlbumJournal resumed = AlbumJournal::Read(path);
  ASSERT_EQ(resumed.state(), AlbumJournal::State::kStopped) << resumed.unreadable_because();
  EXPECT_TRUE(resumed.IsResult(1, platform::FileIdentity{"5:90", 2000, 55}));
  EXPECT_FALSE(resumed.IsResult(1, platform::FileIdentity{"5:90", 2001, 55}));
  EXPECT_FALSE(resumed.IsResult(0, platform::FileIdentity{"5:9", 1000, 0}));
  EXPECT_EQ(resumed.TrackOf("elsewhere.wav", platform::FileIdentity{"5:90", 2000, 7}), 1u);
}

}  // namespace
}  // namespace normalize::test
