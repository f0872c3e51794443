#pragma once
// A result compared with the file already at its target as it is written, so
// that a rerun that would write the same bytes leaves that file as it was
// (its time too, so that backup and sync tools copy nothing again).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "output/atomic_output.h"

namespace normalize {

class SameBytesCheck : public ByteSink {
 public:
  // Passes every write on to `out`; `existing` is read alongside.
  SameBytesCheck(ByteSink& out, const std::string& existing);
  ~SameBytesCheck() override;
  SameBytesCheck(const SameBytesCheck&) = delete;
  SameBytesCheck& operator=(const SameBytesCheck&) = delete;

  void Write(const void* data, std::size_t size) override;
  // After the last write: whether `existing` holds exactly what was written.
  bool Same();

 private:
  ByteSink& out_;
  std::FILE* existing_ = nullptr;
  std::intptr_t lock_ = -1;
  bool same_ = false;
  std::vector<unsigned char> buffer_;
};

}  // namespace normalize
