#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace normalize::platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

FolderEntry Described(int folder, const char* name) {
  FolderEntry entry;
  entry.name = name;
  struct stat own {};
  if (fstatat(folder, name, &own, AT_SYMLINK_NOFOLLOW) != 0) {
    entry.error = std::strerror(errno);
    return entry;
  }
  entry.link = S_ISLNK(own.st_mode);
  struct stat target = own;
  // A link to nothing is neither a folder nor a file to work on; opening it says so.
  if (entry.link && fstatat(folder, name, &target, 0) != 0) return entry;
  entry.folder = S_ISDIR(target.st_mode);
  entry.identity = std::to_string(target.st_dev) + ":" + std::to_string(target.st_ino);
  return entry;
}

}  // namespace

Folder::Folder(const std::string& path) : handle_(open(path.c_str(), kFolderFlags)) {
  if (handle_ < 0) error_ = std::strerror(errno);
}

Folder::Folder(const Folder& parent, const std::string& name) {
  if (parent.handle_ < 0) {
    error_ = parent.error_;
    return;
  }
  // Not through a link put in the folder's place since it was listed.
  handle_ = openat(static_cast<int>(parent.handle_), name.c_str(), kFolderFlags | O_NOFOLLOW);
  if (handle_ < 0) error_ = std::strerror(errno);
}

Folder::~Folder() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool Folder::List(std::vector<FolderEntry>& entries) {
  if (handle_ < 0) return false;
  const int folder = static_cast<int>(handle_);
  // The listing takes a descriptor of its own: the folder's stays open for openat.
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  std::unique_ptr<DIR, DirCloser> dir(copy < 0 ? nullptr : fdopendir(copy));
  if (!dir) {
    error_ = std::strerror(errno);
    if (copy >= 0) close(copy);
    return false;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
    errno = 0;
  }
  if (errno != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  entries.reserve(entries.size() + names.size());
  for (const std::string& name : names) entries.push_back(Described(folder, name.c_str()));
  return true;
}

bool MakeFolder(const std::string& path, std::string& error) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  const int made_error = errno;
  struct stat info {};
  if (made_error == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  error = std::strerror(made_error);
  return false;
}

bool FitsInOnePath(const std::string& path) { return path.size() < PATH_MAX; }

}  // namespace normalize::platform
