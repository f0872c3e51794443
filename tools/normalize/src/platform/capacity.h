#pragma once
// What the system can still give a run: room on a disk, open files.
#include <cstdint>
#include <optional>
#include <string>

namespace normalize::platform {

// The bytes this user may still write on the disk that holds `folder`;
// nothing when the system does not say.
std::optional<std::uint64_t> FreeBytes(const std::string& folder);

// How many files this process may hold open at once (after any raise).
std::uint64_t OpenFileLimit();

}  // namespace normalize::platform
