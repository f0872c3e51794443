#include "loudness/sample_pool.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace normalize {
namespace {

// A few per thread: the analyzers of one file's parts come one at a time.
constexpr std::size_t kKept = 4;

struct Pooled {
  std::size_t size;
  std::unique_ptr<float[]> storage;
};

std::vector<Pooled>& Pool() {
  thread_local std::vector<Pooled> pool;
  return pool;
}

}  // namespace

PooledSamples::PooledSamples(std::size_t count) : size_(count) {
  std::vector<Pooled>& pool = Pool();
  // The smallest that is large enough.
  auto best = pool.end();
  for (auto it = pool.begin(); it != pool.end(); ++it) {
    if (it->size >= count && (best == pool.end() || it->size < best->size)) best = it;
  }
  if (best != pool.end()) {
    size_ = best->size;
    storage_ = std::move(best->storage);
    pool.erase(best);
  } else {
    storage_.reset(new float[count]);
  }
}

PooledSamples::~PooledSamples() {
  if (!storage_) return;
  std::vector<Pooled>& pool = Pool();
  try {
    pool.push_back(Pooled{size_, std::move(storage_)});
  } catch (...) {
    return;  // no room to keep it: freed with storage_
  }
  if (pool.size() > kKept) {
    pool.erase(std::min_element(pool.begin(), pool.end(),
                                [](const Pooled& a, const Pooled& b) { return a.size < b.size; }));
  }
}

}  // namespace normalize
