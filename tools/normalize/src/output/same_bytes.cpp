#include "output/same_bytes.h"

#include <cstring>

#include "platform/locked_input.h"

namespace normalize {

SameBytesCheck::SameBytesCheck(ByteSink& out, const std::string& existing) : out_(out) {
  platform::OpenError error{};
  existing_ = platform::OpenInput(existing, error, lock_, false);
  same_ = existing_ != nullptr;
}

SameBytesCheck::~SameBytesCheck() {
  if (existing_) std::fclose(existing_);
}

void SameBytesCheck::Write(const void* data, std::size_t size) {
  out_.Write(data, size);
  if (!same_) return;
  buffer_.resize(size);
  same_ = std::fread(buffer_.data(), 1, size, existing_) == size && std::memcmp(buffer_.data(), data, size) == 0;
}

bool SameBytesCheck::Same() {
  // Nothing may follow what was written.
  return same_ && std::fgetc(existing_) == EOF && !std::ferror(existing_);
}

}  // namespace normalize
