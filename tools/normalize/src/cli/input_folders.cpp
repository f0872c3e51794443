#include "cli/input_folders.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "platform/folder.h"
#include "platform/locked_input.h"
#include "platform/paths.h"

namespace normalize {
namespace {

std::string Joined(const std::string& folder, const std::string& name) {
  const bool ends_in_separator = !folder.empty() && std::strchr(platform::kPathSeparators, folder.back());
  return ends_in_separator ? folder + name : folder + platform::kPathSeparators[0] + name;
}

// An AppleDouble file: a "._" name and the format's magic number. A "._"
// name alone is no proof: such a file may hold real audio.
bool IsAppleDouble(const std::string& name, const std::string& path) {
  if (name.rfind("._", 0) != 0) return false;
  platform::OpenError error{};
  std::intptr_t lock = -1;
  std::FILE* file = platform::OpenInput(path, error, lock, false);
  if (!file) return false;
  unsigned char magic[4] = {};
  const bool read = std::fread(magic, 1, sizeof magic, file) == sizeof magic;
  std::fclose(file);
  return read && magic[0] == 0x00 && magic[1] == 0x05 && magic[2] == 0x16 && magic[3] == 0x07;
}

class FolderWalk {
 public:
  explicit FolderWalk(bool recursive) : recursive_(recursive) {}

  void Walk(platform::Folder& folder, const std::string& path, const std::string& identity) {
    if (!identity.empty()) walked_.insert(identity);
    std::vector<platform::FolderEntry> entries;
    if (!folder.List(entries)) {
      found_.push_back({path, "", "cannot list this folder: " + folder.error()});
      return;
    }
    for (const platform::FolderEntry& entry : entries) {
      const std::string entry_path = Joined(path, entry.name);
      if (!entry.error.empty()) {
        // Unknown, it might be a folder to walk or a file to work on.
        if (recursive_ || IsWavName(entry.name)) found_.push_back({entry_path, "", "cannot look at this: " + entry.error});
      } else if (entry.folder) {
        if (recursive_ && !entry.link && (entry.identity.empty() || !walked_.count(entry.identity))) {
          platform::Folder sub(folder, entry.name);
          Walk(sub, entry_path, entry.identity);
        }
      } else if (IsWavName(entry.name)) {
        const bool fits = platform::FitsInOnePath(entry_path);
        found_.push_back({entry_path, entry.identity, fits ? "" : "name too long for this system",
                          fits && IsAppleDouble(entry.name, entry_path)});
      }
    }
  }

  std::vector<FoundFile> Sorted() {
    std::sort(found_.begin(), found_.end(), [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    return std::move(found_);
  }

 private:
  const bool recursive_;
  std::unordered_set<std::string> walked_;
  std::vector<FoundFile> found_;
};

}  // namespace

bool IsWavName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string extension = name.substr(name.size() - 4);
  for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return extension == ".wav";
}

std::vector<FoundFile> WavFilesIn(const std::string& folder, bool recursive) {
  FolderWalk walk(recursive);
  platform::Folder top(folder);
  walk.Walk(top, folder, platform::Inspect(folder).identity);
  return walk.Sorted();
}

}  // namespace normalize
