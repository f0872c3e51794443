// Which files share a gain: each alone, one album, or an album per folder;
// the policy with made-up names, then as a user with a library runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "cli/command_line.h"
#include "job/group.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

std::vector<std::vector<std::size_t>> Indexes(const std::vector<Group>& groups) {
  std::vector<std::vector<std::size_t>> indexes;
  for (const Group& group : groups) {
    indexes.emplace_back();
    for (const Member& member : group) indexes.back().push_back(member.index);
  }
  return indexes;
}

TEST(NormalizeGroups, EachAloneOneAlbumOrAnAlbumPerFolder) {
  const std::vector<std::string> files = {"a/1.wav", "./b/1.wav", "a/2.wav", "1.wav", "./2.wav", "b/../a/3.wav",
                                          "b/2.wav"};
  using Indexes_ = std::vector<std::vector<std::size_t>>;
  EXPECT_EQ(Indexes(GroupsOf(files, false, false)), (Indexes_{{0}, {1}, {2}, {3}, {4}, {5}, {6}}));
  EXPECT_EQ(Indexes(GroupsOf(files, true, false)), (Indexes_{{0, 1, 2, 3, 4, 5, 6}}));
  // Each group where its first file is; "./b" is "b", "./2.wav" is beside "1.wav".
  EXPECT_EQ(Indexes(GroupsOf(files, true, true)), (Indexes_{{0, 2, 5}, {1, 6}, {3, 4}}));
  EXPECT_TRUE(GroupsOf({}, true, true).empty());

  const Options options = ParseCommandLine({"--album=folder", "-m", "90", "-r", "music"});
  EXPECT_TRUE(options.album && options.album_per_folder);
  EXPECT_FALSE(ParseCommandLine({"--album", "-m", "90", "a.wav"}).album_per_folder);
  for (const char* refused : {"--album=", "--album=folders", "--album=all"}) {
    EXPECT_THROW(ParseCommandLine({refused, "-m", "90", "a.wav"}), Failure) << refused;
  }
  EXPECT_THROW(ParseCommandLine({"--album=folder", "--analyze", "a.wav"}), Failure);
}

TEST(NormalizeGroups, EveryFolderOfALibraryIsAnAlbumOfItsOwn) {
  ScratchDir dir;
  const std::string library = dir / "library";
  for (const char* folder : {"library/loud", "library/quiet", "library/quiet/bonus"}) {
    std::filesystem::create_directories(dir / folder);
  }
  const auto track = [&](const std::string& name, const char* gain) {
    Sox({"-D", "-n", "-r", "8000", "-c", "1", "-b", "24", dir / name, "synth", "1", "sine", "440", "gain", gain});
  };
  track("library/loud/1.wav", "-3");
  track("library/loud/2.wav", "-9");
  track("library/quiet/1.wav", "-30");
  track("library/quiet/2.wav", "-24");
  track("library/quiet/bonus/1.wav", "-40");
  const RunResult run = RunTool({"--album=folder", "-r", "-m", "50", "--json", library});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  // One album line for each folder that holds WAV files, each album's
  // loudest track at half of full scale.
  const std::regex album_line(R"(\{"album":true,"files":([0-9]+),"gain_db":(-?[0-9.]+))");
  std::vector<std::pair<int, double>> albums;
  for (std::sregex_iterator at(run.out.begin(), run.out.end(), album_line), end; at != end; ++at) {
    albums.emplace_back(std::stoi((*at)[1]), std::stod((*at)[2]));
  }
  ASSERT_EQ(albums.size(), 3u) << run.out;
  const std::pair<int, double> expected[] = {{2, -6.02 + 3}, {2, -6.02 + 24}, {1, -6.02 + 40}};
  for (std::size_t i = 0; i < albums.size(); ++i) {
    EXPECT_EQ(albums[i].first, expected[i].first) << i;
    EXPECT_NEAR(albums[i].second, expected[i].second, 0.02) << i;
  }
}

}  // namespace
}  // namespace normalize::test
