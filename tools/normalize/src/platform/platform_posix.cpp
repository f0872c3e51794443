#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <setjmp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
  const int fd = fileno(file);
  struct stat info {};
  if (stat(model.c_str(), &info) != 0) {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return;
  }
  // The owner first: changing it clears the set-id bits that chmod then sets.
  // Only root may give a file away; anyone may pass it to a group of theirs.
  if (fchown(fd, info.st_uid, info.st_gid) != 0) fchown(fd, static_cast<uid_t>(-1), info.st_gid);
  fchmod(fd, info.st_mode & 07777);
}

std::FILE* OpenInput(const std::string& path, OpenError& error, std::intptr_t& lock) {
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
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
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
    const int keeper = fcntl(fd, F_DUPFD_CLOEXEC, 0);
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
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) return info;  // a link to nothing: not a regular file
  info.regular = S_ISREG(target.st_mode);
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

namespace {

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The temporary an interruption removes. Set and cleared with the signals
// blocked, read only by the handler.
char armed_path[PATH_MAX + 1];
volatile sig_atomic_t armed = 0;
volatile sig_atomic_t committed = 0;
int interrupted_exit_code = 9;

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

void Say(const char* text) {
  const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

void OnInterruption(int) {
  if (armed) unlink(armed_path);
  // Of several files, those done before stay done.
  Say(committed ? "\nnormalize: interrupted after a result was put in place\n"
                : "\nnormalize: interrupted; the file being worked on is left as it was\n");
  _exit(interrupted_exit_code);
}

}  // namespace

void HandleInterruptions(int exit_code) {
  interrupted_exit_code = exit_code;
  struct sigaction action {};
  action.sa_handler = OnInterruption;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

std::FILE* CreateTemporary(const std::string& path, bool& name_taken) {
  name_taken = false;
  if (path.size() > PATH_MAX) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  const SignalsBlocked blocked;
  // O_EXCL also refuses a symbolic link planted at the name.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    name_taken = errno == EEXIST;
    return nullptr;
  }
  // Held while this run lives; a later run that can take it knows the file is debris.
  flock(fd, LOCK_EX | LOCK_NB);
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    const int saved = errno;
    close(fd);
    unlink(path.c_str());
    errno = saved;
    return nullptr;
  }
  std::memcpy(armed_path, path.c_str(), path.size() + 1);
  armed = 1;
  committed = 0;
  return file;
}

bool CommitTemporary(std::FILE* file, const std::string& from, const std::string& to, std::string& reason) {
  if (std::fclose(file) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  {
    const SignalsBlocked blocked;
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      reason = std::strerror(errno);
      return false;
    }
    armed = 0;
    committed = 1;
  }
  // The rename itself is only durable once the directory is synced.
  const int dir = open(DirectoryOf(to).c_str(), O_RDONLY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void DiscardTemporary(std::FILE* file, const std::string& path) {
  if (file) std::fclose(file);
  const SignalsBlocked blocked;
  unlink(path.c_str());
  armed = 0;
}

void RemoveIfAbandoned(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  struct stat named {};
  // Only a regular file of this user's whose creator no longer holds its lock.
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == geteuid() &&
      flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(path.c_str(), &named) == 0 &&
      named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
    unlink(path.c_str());
  }
  close(fd);
}

const char kPathSeparators[] = "/";

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

std::uint64_t RandomBits() {
  std::uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
    bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (static_cast<std::uint64_t>(getpid()) << 40);
  }
  return bits;
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void PrepareConsole() {}

void EndConsole(int) {}

}  // namespace normalize::platform
