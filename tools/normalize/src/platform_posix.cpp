#include "platform.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace normalize::platform {

static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");

bool Seek(std::FILE* file, std::uint64_t offset) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SeekEnd(std::FILE* file) { return fseeko(file, 0, SEEK_END) == 0; }

bool Tell(std::FILE* file, std::uint64_t& offset) {
  const off_t at = ftello(file);
  if (at < 0) return false;
  offset = static_cast<std::uint64_t>(at);
  return true;
}

namespace {

// While a file is mapped, a bus error (a mapped page beyond the file's end)
// returns to the RunOnMapped that is running, if any.
sigjmp_buf* active_guard = nullptr;
struct sigaction previous_bus_action {};
int mappings = 0;

void OnBusError(int, siginfo_t*, void*) {
  if (active_guard) siglongjmp(*active_guard, 1);
  // Not ours: the system's default, which the repeated access then meets.
  sigaction(SIGBUS, &previous_bus_action, nullptr);
}

}  // namespace

const std::byte* MapForReading(std::FILE* file, std::uint64_t size) {
  // A 32-bit address space has no room for a large file; reading serves there.
  if (sizeof(void*) < 8 || size == 0 || size > SIZE_MAX / 2) return nullptr;
  void* data = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fileno(file), 0);
  if (data == MAP_FAILED) return nullptr;
  madvise(data, static_cast<std::size_t>(size), MADV_SEQUENTIAL);
  if (mappings++ == 0) {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    // Not blocked in the handler, so that leaving it needs no saved mask.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previous_bus_action);
  }
  return static_cast<const std::byte*>(data);
}

void Unmap(const std::byte* data, std::uint64_t size) {
  if (!data) return;
  munmap(const_cast<std::byte*>(data), static_cast<std::size_t>(size));
  if (--mappings == 0) sigaction(SIGBUS, &previous_bus_action, nullptr);
}

bool RunOnMapped(void (*fn)(void*), void* context) {
  sigjmp_buf guard;
  sigjmp_buf* const outer = active_guard;
  if (sigsetjmp(guard, 0) != 0) {
    active_guard = outer;
    return false;
  }
  active_guard = &guard;
  try {
    fn(context);
  } catch (...) {
    active_guard = outer;
    throw;
  }
  active_guard = outer;
  return true;
}

bool CurrentSize(std::FILE* file, std::uint64_t& size) {
  struct stat info {};
  if (fstat(fileno(file), &info) != 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool SyncToDisk(std::FILE* file) {
  return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

void StartWriteBack(std::FILE* file, std::uint64_t offset, std::uint64_t size) {
#ifdef __linux__
  sync_file_range(fileno(file), static_cast<off_t>(offset), static_cast<off_t>(size),
                  SYNC_FILE_RANGE_WRITE);
#else
  (void)file, (void)offset, (void)size;
#endif
}

void CopyPermissions(const std::string& model, std::FILE* file) {
  struct stat info {};
  if (stat(model.c_str(), &info) == 0) fchmod(fileno(file), info.st_mode & 07777);
}

namespace {

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool MoveOver(const std::string& from, const std::string& to, std::string& reason) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  // The rename itself is only durable once the directory is synced.
  const int dir = open(DirectoryOf(to).c_str(), O_RDONLY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void PrepareConsole() {}

void EndConsole() {}

}  // namespace normalize::platform
