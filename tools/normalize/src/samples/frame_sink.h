#pragma once
// Whatever a read-only pass hands the data chunk's bytes to, whole frames in
// order, in blocks of any size.
#include <cstddef>

namespace normalize {

class FrameSink {
 public:
  // Any number of bytes of the data chunk, continuing where the last ended.
  virtual void Add(const std::byte* data, std::size_t bytes) = 0;

 protected:
  ~FrameSink() = default;
};

}  // namespace normalize
