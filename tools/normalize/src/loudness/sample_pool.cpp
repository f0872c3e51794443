#include "loudness/sample_pool.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace normalize {
namespace {

// A few for each thread that measures: the analyzers of one file's parts come
// one at a time.
constexpr std::size_t kKept = 8;

struct Pooled {
  std::size_t size;
  std::unique_ptr<float[]> storage;
};

// One pool for the run, not one per thread: MinGW's 32-bit runtime frees a
// thread_local's storage before its destructor runs at the thread's end,
// which crashed the Windows build now and then as a worker finished. A lock
// per analyzer made costs nothing beside measuring a file.
std::mutex pool_lock;

std::vector<Pooled>& Pool() {
  static std::vector<Pooled>* pool = new std::vector<Pooled>;  // never destroyed: workers may outlive main's statics
  return *pool;
}

}  // namespace

PooledSamples::PooledSamples(std::size_t count) : size_(count) {
  const std::lock_guard<std::mutex> hold(pool_lock);
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
  const std::lock_guard<std::mutex> hold(pool_lock);
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
