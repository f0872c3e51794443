// The result's temporary and the signals that remove it, on POSIX systems.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/interruptions.h"
#include "platform/temporary.h"

namespace normalize::platform {

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

std::uint64_t RandomBits() {
  std::uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
    bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (static_cast<std::uint64_t>(getpid()) << 40);
  }
  return bits;
}

}  // namespace normalize::platform
