#pragma once
// Which file a name leads to, and whether its content may have changed: a
// file replaced by another program (written beside and renamed over), cut,
// rewritten or deleted no longer matches what was taken before.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace normalize::platform {

struct FileIdentity {
  std::string file;            // device and file number (on Windows the volume and file ID)
  std::uint64_t size = 0;
  std::int64_t modified = 0;   // the last write, in the system's finest unit

  bool operator==(const FileIdentity&) const = default;
  // "dev:ino:size:modified", and back; nothing for a malformed text.
  std::string Text() const;
  static std::optional<FileIdentity> FromText(const std::string& text);
};

// The file `path` leads to now (through links); nothing when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The file open as `file`.
std::optional<FileIdentity> IdentityOf(std::FILE* file);

}  // namespace normalize::platform
