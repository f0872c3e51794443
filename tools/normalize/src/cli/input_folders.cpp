#include "cli/input_folders.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/paths.h"

namespace normalize {
namespace {

std::string Joined(const std::string& folder, const std::string& name) {
  const bool ends_in_separator = !folder.empty() && std::strchr(platform::kPathSeparators, folder.back());
  return ends_in_separator ? folder + name : folder + platform::kPathSeparators[0] + name;
}

void Walk(const std::string& folder, bool recursive, std::set<std::string>& walked,
          std::vector<std::string>& files) {
  for (const std::string& name : platform::NamesIn(folder)) {
    if (name == "." || name == "..") continue;
    const std::string path = Joined(folder, name);
    const platform::PathInfo info = platform::Inspect(path);
    if (info.folder) {
      if (recursive && !info.link && (info.identity.empty() || walked.insert(info.identity).second)) {
        Walk(path, recursive, walked, files);
      }
    } else if (IsWavName(name)) {
      files.push_back(path);
    }
  }
}

}  // namespace

bool IsWavName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string extension = name.substr(name.size() - 4);
  for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return extension == ".wav";
}

std::vector<std::string> WavFilesIn(const std::string& folder, bool recursive) {
  std::set<std::string> walked;
  const std::string identity = platform::Inspect(folder).identity;
  if (!identity.empty()) walked.insert(identity);
  std::vector<std::string> files;
  Walk(folder, recursive, walked, files);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace normalize
