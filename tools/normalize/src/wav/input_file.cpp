#include "wav/input_file.h"

#include <cerrno>
#include <cstring>

#include "failure.h"
#include "platform/file_io.h"
#include "platform/locked_input.h"
#include "platform/mapping.h"

namespace normalize {

InputFile::InputFile(const std::string& path, bool map, bool lock) : path_(path) {
  errno = 0;
  platform::OpenError error = platform::OpenError::kNone;
  file_.reset(platform::OpenInput(path, error, lock_, lock));
  if (error == platform::OpenError::kNotRegular) {
    throw Failure(ExitCode::kInput,
                  "not a regular file (a folder, device or pipe); only WAV files are read");
  }
  if (error == platform::OpenError::kBusy) {
    throw Failure(ExitCode::kBusy,
                  "another normalize run is working on this file; nothing was changed (try again when it has "
                  "finished)");
  }
  if (!file_) Fail("cannot open");
  // We read in large blocks of our own; a second buffer would only copy.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  if (!platform::SeekEnd(file_.get()) || !platform::Tell(file_.get(), size_)) {
    Fail("cannot determine its size");
  }
  position_ = size_;
  if (const auto identity = platform::IdentityOf(file_.get())) identity_ = *identity;
  if (map) mapping_ = {platform::MapForReading(file_.get(), size_), Unmapper{size_}};
}

InputFile::~InputFile() {
  Close();
  platform::ReleaseLock(lock_);
}

void InputFile::Unmapper::operator()(const std::byte* data) const { platform::Unmap(data, size); }

const std::byte* InputFile::View(std::uint64_t offset, std::size_t count) const {
  if (!mapping_ || offset > size_ || count > size_ - offset) return nullptr;
  return mapping_.get() + offset;
}

void InputFile::CheckNotCutShort() const {
  std::uint64_t now = 0;
  if (mapping_ && platform::CurrentSize(file_.get(), now) && now < size_) FailCutShort();
}

void InputFile::FailCutShort() const {
  errno = 0;
  Fail("cut short while being read");
}

void InputFile::Close() {
  mapping_.reset();
  file_.reset();
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset != position_) {
    if (!platform::Seek(file_.get(), offset)) Fail("cannot seek");
    position_ = offset;
  }
  return ReadNext(buffer, count);
}

void InputFile::ReadExactAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (ReadAt(offset, buffer, count) != count) {
    errno = 0;
    Fail("unexpected end of file");
  }
}

std::size_t InputFile::ReadNext(void* buffer, std::size_t count) {
  const std::size_t got = std::fread(buffer, 1, count, file_.get());
  position_ += got;
  if (got < count && std::ferror(file_.get())) Fail("cannot read");
  return got;
}

void InputFile::Fail(const char* what) const {
  // The caller names the input file; the message says what went wrong with it.
  std::string message = what;
  if (errno != 0) message += ": " + std::string(std::strerror(errno));
  throw Failure(ExitCode::kInput, message);
}

}  // namespace normalize
