// The result's temporary and the signals that remove it, on POSIX systems.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

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

// The temporaries an interruption removes. The signals are taken by a thread
// of their own (sigwait), which may then lock what the workers lock, so that
// no temporary is created or renamed half-way through the clean-up.
std::mutex armed_lock;
std::vector<std::string> armed;
bool committed = false;
int interrupted_exit_code = 9;
std::atomic<DoneSoFar> done_so_far{nullptr};

void Say(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t wrote = write(STDERR_FILENO, text.data() + at, text.size() - at);
    if (wrote <= 0 && errno != EINTR) return;
    if (wrote > 0) at += static_cast<std::size_t>(wrote);
  }
}

[[noreturn]] void EndWith(const std::string& why, int exit_code) {
  armed_lock.lock();  // held until the end: nothing new is created or put in place
  for (const std::string& path : armed) unlink(path.c_str());
  Say(why);
  if (const DoneSoFar report = done_so_far.load()) Say(report());
  _exit(exit_code);
}

[[noreturn]] void AwaitInterruption(sigset_t signals) {
  int signal = 0;
  while (sigwait(&signals, &signal) != 0) {
  }
  // Of several files, those done before stay done.
  EndWith(committed ? "\nnormalize: interrupted after a result was put in place\n"
                    : "\nnormalize: interrupted; the files being worked on are left as they were\n",
          interrupted_exit_code);
}

void Disarm(const std::string& path) {
  const auto at = std::find(armed.begin(), armed.end(), path);
  if (at != armed.end()) armed.erase(at);
}

}  // namespace

void SetInterruptionReport(DoneSoFar report) { done_so_far = report; }

void EndRunNow(const std::string& why, int exit_code) { EndWith("\nnormalize: " + why + "\n", exit_code); }

void HandleInterruptions(int exit_code) {
  interrupted_exit_code = exit_code;
  // A reader that went away (| head) is an output failure the run reports,
  // not a silent death.
  signal(SIGPIPE, SIG_IGN);
  // Blocked here, before any other thread exists, and so in every thread:
  // only the waiting thread takes them.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(AwaitInterruption, signals).detach();
}

std::FILE* CreateTemporary(const std::string& path, bool& name_taken) {
  name_taken = false;
  if (path.size() > PATH_MAX) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  const std::lock_guard<std::mutex> locked(armed_lock);
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
  armed.push_back(path);
  return file;
}

bool CommitTemporary(std::FILE* file, const std::string& from, const std::string& to, std::string& reason,
                     const std::function<void()>& on_committed) {
  if (std::fclose(file) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  {
    const std::lock_guard<std::mutex> locked(armed_lock);
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      reason = std::strerror(errno);
      return false;
    }
    Disarm(from);
    committed = true;
    if (on_committed) on_committed();
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
  const std::lock_guard<std::mutex> locked(armed_lock);
  unlink(path.c_str());
  Disarm(path);
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
