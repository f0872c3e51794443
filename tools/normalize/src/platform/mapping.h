#pragma once
// Reading an input file through a read-only mapping, where the system allows it.
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace normalize::platform {

// Maps the first `size` bytes of `file` read-only for reading front to back,
// or returns nullptr where the system or the address space does not allow it
// (the caller then reads). Undone by Unmap.
const std::byte* MapForReading(std::FILE* file, std::uint64_t size);
void Unmap(const std::byte* data, std::uint64_t size);

// Runs fn(context), which reads mapped bytes; returns false, abandoning it,
// when it touches a page that the file no longer holds (another program cut
// the file short), where the system would otherwise end the process. `fn`
// must own nothing that needs destroying.
bool RunOnMapped(void (*fn)(void*), void* context);

}  // namespace normalize::platform
