#include "atomic_output.h"

#include <cerrno>
#include <cstring>

#include "failure.h"
#include "platform.h"

namespace normalize {
namespace {

// The write-back of the result is started in steps of this size while the
// rest is still being computed, so that the flush before the rename mostly
// waits for work the disk has already done.
constexpr std::uint64_t kWriteBackStep = 8 << 20;

bool Exists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file) std::fclose(file);
  return file != nullptr;
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::string target, WriteHook hook)
    : target_(std::move(target)), hook_(std::move(hook)) {
  // Beside the target, so that the final rename never crosses file systems.
  const std::string stem = target_ + "." + std::to_string(platform::ProcessId());
  for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
    const std::string candidate = stem + (attempt ? std::string("-").append(std::to_string(attempt)) : "") + ".tmp";
    if (Exists(candidate)) continue;
    errno = 0;
    file_.reset(std::fopen(candidate.c_str(), "wb"));
    if (!file_) Fail("cannot create", candidate);
    temp_path_ = candidate;
  }
  if (!file_) Fail("cannot find a free temporary name beside", target_);
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  platform::CopyPermissions(target_, file_.get());
}

AtomicOutputFile::~AtomicOutputFile() {
  if (committed_ || temp_path_.empty()) return;
  file_.reset();
  std::remove(temp_path_.c_str());
}

void AtomicOutputFile::Write(const void* data, std::size_t size) {
  if (hook_) hook_(written_, size);
  errno = 0;
  if (std::fwrite(data, 1, size, file_.get()) != size) Fail("cannot write", temp_path_);
  written_ += size;
  if (written_ - written_back_ >= kWriteBackStep) {
    platform::StartWriteBack(file_.get(), written_back_, written_ - written_back_);
    written_back_ = written_;
  }
}

void AtomicOutputFile::Commit() {
  errno = 0;
  if (!platform::SyncToDisk(file_.get())) Fail("cannot flush", temp_path_);
  if (std::fclose(file_.release()) != 0) Fail("cannot close", temp_path_);
  std::string reason;
  if (!platform::MoveOver(temp_path_, target_, reason)) {
    throw Failure(ExitCode::kOutput, "cannot put the result in place of '" + target_ + "': " + reason);
  }
  committed_ = true;
}

void AtomicOutputFile::Fail(const std::string& what, const std::string& path) const {
  std::string message = what + " '" + path + "'";
  if (errno != 0) message += ": " + std::string(std::strerror(errno));
  throw Failure(ExitCode::kOutput, message);
}

}  // namespace normalize
