#pragma once
// A folder opened to be listed, and the folders in it opened through it.
#include <cstdint>
#include <string>
#include <vector>

namespace normalize::platform {

struct FolderEntry {
  std::string name;
  bool folder = false;   // a folder, or a link to one
  bool link = false;     // a symbolic link (or, on Windows, any reparse point)
  std::string identity;  // as PathInfo's; empty where it would cost an open (Windows)
  std::string error;     // why what the entry is could not be found out; then the rest is unknown
};

// On POSIX a subfolder is opened through its parent's descriptor, so that a
// walk reaches folders whose whole path is longer than the system takes.
class Folder {
 public:
  explicit Folder(const std::string& path);
  Folder(const Folder& parent, const std::string& name);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Every entry but "." and "..", in no set order. False, with error() saying
  // why, when the folder could not be opened or not be listed to its end.
  bool List(std::vector<FolderEntry>& entries);
  const std::string& error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;  // POSIX: the open folder
  std::string path_;           // Windows: the folder's path
  std::string error_;
};

// Makes the folder `path` (its parent must exist); true when it is there
// now, made or not, else false with `error` saying why.
bool MakeFolder(const std::string& path, std::string& error);

// Whether the system takes `path` as one name (POSIX: shorter than PATH_MAX).
bool FitsInOnePath(const std::string& path);

}  // namespace normalize::platform
