// Files, mapping, the input lock, paths and processors on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <setjmp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/file_io.h"
#include "platform/locked_input.h"
#include "platform/mapping.h"
#include "platform/paths.h"
#include "platform/processors.h"

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
thread_local sigjmp_buf* active_guard = nullptr;
std::mutex mappings_lock;
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
  // A small file is read too: mapping and unmapping take the process's memory
  // map for writing and interrupt every other core to flush its view of it,
  // which for a library of short files costs more than copying them.
  constexpr std::uint64_t kSmallestMapped = 4u << 20;
  if (sizeof(void*) < 8 || size < kSmallestMapped || size > SIZE_MAX / 2) return nullptr;
  void* data = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fileno(file), 0);
  if (data == MAP_FAILED) return nullptr;
  madvise(data, static_cast<std::size_t>(size), MADV_SEQUENTIAL);
  const std::lock_guard<std::mutex> locked(mappings_lock);
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
  const std::lock_guard<std::mutex> locked(mappings_lock);
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


std::FILE* OpenInput(const std::string& path, OpenError& error, std::intptr_t& lock, bool take_lock) {
  error = OpenError::kSystem;
  lock = -1;
  // Another run may put its result in place between our open and our lock:
  // then the name leads to a new file, which is the one to work on.
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) != 0) {
      const int saved = errno;
      close(fd);
      errno = saved;
      return nullptr;
    }
    if (!S_ISREG(opened.st_mode)) {
      close(fd);
      error = OpenError::kNotRegular;
      return nullptr;
    }
    // A file system without flock (some network ones) leaves the file unlocked.
    if (take_lock && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      close(fd);
      error = OpenError::kBusy;
      return nullptr;
    }
    if (stat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
      close(fd);
      continue;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // The lock belongs to the open file, which this second descriptor keeps
    // open after the input is closed, until the result is in place.
    const int keeper = take_lock ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
      const int saved = errno;
      close(fd);
      if (keeper >= 0) close(keeper);
      errno = saved;
      return nullptr;
    }
    lock = keeper;
    error = OpenError::kNone;
    return file;
  }
  errno = EAGAIN;
  return nullptr;
}

void ReleaseLock(std::intptr_t lock) {
  if (lock >= 0) close(static_cast<int>(lock));
}

PathInfo Inspect(const std::string& path) {
  PathInfo info;
  info.real_path = path;
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) return info;
  info.exists = true;
  info.link = S_ISLNK(link.st_mode);
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) return info;  // a link to nothing: not a regular file
  info.regular = S_ISREG(target.st_mode);
  info.folder = S_ISDIR(target.st_mode);
  info.links = static_cast<unsigned long>(target.st_nlink);
  info.identity = std::to_string(target.st_dev) + ":" + std::to_string(target.st_ino);
  // Root may write anything; the permission bits still say what the owner meant.
  info.read_only = (target.st_mode & 0222) == 0 || (access(path.c_str(), W_OK) != 0 && errno != ENOENT);
  if (S_ISLNK(link.st_mode)) {
    if (char* resolved = realpath(path.c_str(), nullptr)) {
      info.real_path = resolved;
      free(resolved);
    }
  }
  return info;
}

const char kPathSeparators[] = "/";

std::optional<std::vector<std::string>> NamesIn(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    names.emplace_back(entry->d_name);
    errno = 0;
  }
  const bool whole = errno == 0;
  closedir(dir);
  if (!whole) return std::nullopt;
  return names;
}

unsigned ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

void AllowMostOpenFiles() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  // A system that refuses keeps the soft limit; running out then fails the file that meets it.
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace normalize::platform
