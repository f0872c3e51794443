#pragma once
// Reading and writing plain files beyond what standard C++ offers: 64-bit
// offsets and durable writes.
#include <cstdint>
#include <cstdio>

namespace normalize::platform {

// Positions beyond 4 GiB work on every build.
bool Seek(std::FILE* file, std::uint64_t offset);
bool SeekEnd(std::FILE* file);
bool Tell(std::FILE* file, std::uint64_t& offset);

// The file's size now, which may differ from when it was opened.
bool CurrentSize(std::FILE* file, std::uint64_t& size);

// Flushes the C runtime's buffer and the system's cache down to the disk.
bool SyncToDisk(std::FILE* file);

// Asks the system to start writing [offset, offset + size) of an unbuffered
// file to the disk now, without waiting, so that the final SyncToDisk has less
// left to do. A hint only: does nothing where the system offers no such call.
void StartWriteBack(std::FILE* file, std::uint64_t offset, std::uint64_t size);

}  // namespace normalize::platform
