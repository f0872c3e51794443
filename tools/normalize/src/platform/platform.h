#pragma once
// The few operating-system services the tool needs beyond standard C++: 64-bit
// file offsets, durable writes, atomic replacement and the console. One
// implementation per system (platform_posix.cpp, platform_win32.cpp).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// Why OpenInput gave no file.
enum class OpenError { kNone, kSystem /* errno holds the reason */, kNotRegular, kBusy };

// Opens an existing regular file for reading and takes this tool's exclusive
// lock on it, so that a second run on the same file is refused instead of one
// run's result silently replacing the other's. Never blocks: a FIFO or device
// is refused unopened. The lock lasts until the file is closed and then
// ReleaseLock(lock) is called (`lock` keeps it past closing where the system
// ties it to the open file).
std::FILE* OpenInput(const std::string& path, OpenError& error, std::intptr_t& lock);
void ReleaseLock(std::intptr_t lock);

// What a path names, to decide whether a result may replace it.
struct PathInfo {
  bool exists = false;
  bool regular = false;     // a plain file: not a folder, device, FIFO or socket
  bool read_only = false;   // no write permission, or the read-only attribute
  unsigned long links = 1;  // hard links: names the file has
  std::string real_path;    // where a symbolic link leads; the path itself otherwise
  std::string identity;     // the same for every name of one file; empty if unknown
};
PathInfo Inspect(const std::string& path);

// The result's temporary file: created anew (never an existing name, never
// through a link), readable and writable by this user only until Commit.
// From creation until it is committed or discarded, an interruption (Ctrl-C,
// Ctrl-Break, a closed console window, SIGINT, SIGTERM, SIGHUP) removes it
// before the process ends. Returns nullptr with `name_taken` set when the name
// exists, or with errno set on another failure.
std::FILE* CreateTemporary(const std::string& path, bool& name_taken);
// Closes `file`, then puts `from` in place of `to` in one step (replacing `to`
// if it exists) and makes the new directory entry durable. On failure returns
// the system's reason (the temporary is still there, to be discarded).
bool CommitTemporary(std::FILE* file, const std::string& from, const std::string& to, std::string& reason);
// Closes (if not yet closed) and removes the temporary.
void DiscardTemporary(std::FILE* file, const std::string& path);
// Removes `path`, a temporary of an earlier run, if that run is over (killed
// outright, or cut off by a power failure); leaves it if the run still works.
void RemoveIfAbandoned(const std::string& path);

// Makes an interruption end the process with `exit_code` after removing the
// temporary file, if any, and saying so on the standard error.
void HandleInterruptions(int exit_code);

// Characters that end a folder's part of a path.
extern const char kPathSeparators[];

// The names in a folder (empty if it cannot be read).
std::vector<std::string> NamesIn(const std::string& folder);

// Bits from the system's random source, for names others cannot guess.
std::uint64_t RandomBits();

// The file's size now, which may differ from when it was opened.
bool CurrentSize(std::FILE* file, std::uint64_t& size);

// Flushes the C runtime's buffer and the system's cache down to the disk.
bool SyncToDisk(std::FILE* file);

// Asks the system to start writing [offset, offset + size) of an unbuffered
// file to the disk now, without waiting, so that the final SyncToDisk has less
// left to do. A hint only: does nothing where the system offers no such call.
void StartWriteBack(std::FILE* file, std::uint64_t offset, std::uint64_t size);

// Gives `file` the owner, group and access rights of the existing file at
// `model` as far as this process may, so that a replaced file keeps them; a
// new file gets the rights a newly created one would. Best effort.
void CopyPermissions(const std::string& model, std::FILE* file);

bool IsTerminal(std::FILE* stream);

// Console set-up before the first output (UTF-8 text on Windows).
void PrepareConsole();

// Undoes PrepareConsole. When the tool was started into a console window of
// its own (by the shell, from a GUI program or Explorer) and writes to it,
// first keeps that window open so that the result can be read: a moment after
// success, until a key is pressed after a failure (a non-zero `exit_code`).
void EndConsole(int exit_code);

}  // namespace normalize::platform
