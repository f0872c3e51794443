#pragma once
// Opening an input file under this tool's lock, so that two runs never work
// on one file at once.
#include <cstdint>
#include <cstdio>
#include <string>

namespace normalize::platform {

// Why OpenInput gave no file.
enum class OpenError { kNone, kSystem /* errno holds the reason */, kNotRegular, kBusy };

// Opens an existing regular file for reading and takes this tool's exclusive
// lock on it, so that a second run on the same file is refused instead of one
// run's result silently replacing the other's. Never blocks: a FIFO or device
// is refused unopened. The lock lasts until the file is closed and then
// ReleaseLock(lock) is called (`lock` keeps it past closing where the system
// ties it to the open file). Without `take_lock` (a dry run, which changes
// nothing) the file is only opened.
std::FILE* OpenInput(const std::string& path, OpenError& error, std::intptr_t& lock, bool take_lock = true);
void ReleaseLock(std::intptr_t lock);

}  // namespace normalize::platform
