#pragma once
// Which files of a run share one gain: each file alone, all of them (an
// album), or the files of each folder (an album per folder).
#include <cstddef>
#include <string>
#include <vector>

namespace normalize {

struct Member {
  std::size_t index;  // the file's place among the run's files
  std::string file;
};
using Group = std::vector<Member>;

// `files`: the run's files, in the order named; the groups keep that order,
// each group where its first file is.
std::vector<Group> GroupsOf(const std::vector<std::string>& files, bool album, bool per_folder);

// The folder that holds `file`, written one way: "./a.wav" and "a.wav" are in ".".
std::string FolderKey(const std::string& file);

}  // namespace normalize
