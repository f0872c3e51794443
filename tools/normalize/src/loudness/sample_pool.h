#pragma once
// Sample buffers kept from one file to the next for the next analyzer: a
// library of short files then costs no fresh pages per file (and none of
// their faults, zeroing and return to the system), which for a file of a
// second cost as much as measuring it.
#include <cstddef>
#include <memory>

namespace normalize {

class PooledSamples {
 public:
  // At least `count` floats, their values unspecified.
  explicit PooledSamples(std::size_t count);
  ~PooledSamples();  // back to the pool of the thread that ends it
  PooledSamples(const PooledSamples&) = delete;
  PooledSamples& operator=(const PooledSamples&) = delete;

  float* data() const { return storage_.get(); }

 private:
  std::unique_ptr<float[]> storage_;
  std::size_t size_;
};

}  // namespace normalize
