// File identities on POSIX systems: device, inode, size and modification time.
#include <sys/stat.h>

#include "platform/file_identity.h"

namespace normalize::platform {
namespace {

FileIdentity From(const struct stat& info) {
  FileIdentity identity;
  identity.file = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  identity.size = static_cast<std::uint64_t>(info.st_size);
#if defined(__APPLE__)
  identity.modified = std::int64_t{info.st_mtimespec.tv_sec} * 1000000000 + info.st_mtimespec.tv_nsec;
#else
  identity.modified = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
#endif
  return identity;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return From(info);
}

std::optional<FileIdentity> IdentityOf(std::FILE* file) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0) return std::nullopt;
  return From(info);
}

}  // namespace normalize::platform
