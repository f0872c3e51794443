#pragma once
// The few operating-system services the tool needs beyond standard C++: 64-bit
// file offsets, durable writes, atomic replacement and the console. One
// implementation per system (platform_posix.cpp, platform_win32.cpp).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace normalize::platform {

// Positions beyond 4 GiB work on every build.
bool Seek(std::FILE* file, std::uint64_t offset);
bool SeekEnd(std::FILE* file);
bool Tell(std::FILE* file, std::uint64_t& offset);

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

// The file's size now, which may differ from when it was opened.
bool CurrentSize(std::FILE* file, std::uint64_t& size);

// Flushes the C runtime's buffer and the system's cache down to the disk.
bool SyncToDisk(std::FILE* file);

// Asks the system to start writing [offset, offset + size) of an unbuffered
// file to the disk now, without waiting, so that the final SyncToDisk has less
// left to do. A hint only: does nothing where the system offers no such call.
void StartWriteBack(std::FILE* file, std::uint64_t offset, std::uint64_t size);

// Gives `file` the access rights of the existing file at `model`, if any, so
// that a replaced file keeps them. Best effort.
void CopyPermissions(const std::string& model, std::FILE* file);

// Puts `from` in place of `to` in one step (replacing `to` if it exists) and
// makes the new directory entry durable. On failure returns the system's reason.
bool MoveOver(const std::string& from, const std::string& to, std::string& reason);

unsigned long ProcessId();

bool IsTerminal(std::FILE* stream);

// Console set-up before the first output (UTF-8 text on Windows).
void PrepareConsole();

// Undoes PrepareConsole. When the tool was started into a console window of
// its own (by the shell, from a GUI program), first keeps that window open a
// moment so that the result can be read.
void EndConsole();

}  // namespace normalize::platform
