#include <windows.h>
#include <stdio.h>

#include "platform/capacity.h"

namespace normalize::platform {

std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

// Handles have no small limit; the C runtime's streams do.
std::uint64_t OpenFileLimit() { return static_cast<std::uint64_t>(_getmaxstdio()); }

}  // namespace normalize::platform
