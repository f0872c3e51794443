#include "job/group.h"

#include <filesystem>
#include <map>

namespace normalize {

std::string FolderKey(const std::string& file) {
  const std::filesystem::path folder = std::filesystem::path(file).parent_path().lexically_normal();
  return folder.empty() ? "." : folder.string();
}

std::vector<Group> GroupsOf(const std::vector<std::string>& files, bool album, bool per_folder) {
  std::vector<Group> groups;
  std::map<std::string, std::size_t> group_of_folder;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Member member{i, files[i]};
    if (!album) {
      groups.push_back({member});
      continue;
    }
    const std::string key = per_folder ? FolderKey(files[i]) : std::string();
    const auto [at, added] = group_of_folder.try_emplace(key, groups.size());
    if (added) groups.emplace_back();
    groups[at->second].push_back(member);
  }
  return groups;
}

}  // namespace normalize
