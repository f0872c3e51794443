// File identities on Windows: volume serial number, file ID, size and last write.
#include <windows.h>
#include <io.h>

#include "platform/file_identity.h"

namespace normalize::platform {
namespace {

std::optional<FileIdentity> From(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  FileIdentity identity;
  identity.file = std::to_string(info.dwVolumeSerialNumber) + ":" +
                  std::to_string(static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow);
  identity.size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  identity.modified = static_cast<std::int64_t>(static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                                info.ftLastWriteTime.dwLowDateTime);
  return identity;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  // Shared every way, so that asking never disturbs another program's use.
  const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<FileIdentity> identity = From(handle);
  CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> IdentityOf(std::FILE* file) {
  return From(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

}  // namespace normalize::platform
