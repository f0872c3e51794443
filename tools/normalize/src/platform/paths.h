#pragma once
// What a path names, and the names in a folder.
#include <optional>
#include <string>
#include <vector>

namespace normalize::platform {

// What a path names, to decide whether a result may replace it.
struct PathInfo {
  bool exists = false;
  bool regular = false;     // a plain file: not a folder, device, FIFO or socket
  bool folder = false;      // a folder, or a link to one
  bool link = false;        // a symbolic link (or, on Windows, any reparse point: a junction too)
  bool read_only = false;   // no write permission, or the read-only attribute
  unsigned long links = 1;  // hard links: names the file has
  std::string real_path;    // where a symbolic link leads; the path itself otherwise
  std::string identity;     // the same for every name of one file; empty if unknown
};
PathInfo Inspect(const std::string& path);

// Characters that end a folder's part of a path.
extern const char kPathSeparators[];

// The names in a folder, "." and ".." too; nothing when it cannot be read
// to its end.
std::optional<std::vector<std::string>> NamesIn(const std::string& folder);

}  // namespace normalize::platform
