#pragma once
// One file measured in parts side by side: where the parts lie, the threads
// that take them, and reading a part's bytes from any of those threads.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "samples/stream_processor.h"
#include "wav/input_file.h"

namespace normalize {

// Units [first, end) of a file: frames or samples.
struct FilePart {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
};

// `units` split among `threads`: a single part where one thread or too few
// units (under two of `least`) make splitting pointless; else about four
// parts a thread, each at least `least` long, every border a multiple of
// `align`, so that a thread that finds its core taken holds the others up
// for a short part only.
std::vector<FilePart> SplitIntoParts(std::uint64_t units, std::uint64_t least, std::uint64_t align, unsigned threads);

// Runs work(i) for every part index i, first parts first, on up to
// `threads` threads, the caller's among them. The first failure is rethrown
// once all have stopped; the parts not yet started are then left.
void RunParts(std::size_t parts, unsigned threads, const std::function<void(std::size_t)>& work);

// The input's bytes for threads that read at once: from the mapping where
// there is one, else read one thread at a time. Progress adds up the bytes
// every thread has been through.
class SharedInput {
 public:
  SharedInput(InputFile& input, std::size_t block_bytes, std::uint64_t total_bytes, ProgressFn progress,
              const char* pass);

  std::size_t block_bytes() const { return block_bytes_; }

  // Calls use(block, size) on consecutive blocks of [offset, offset + count),
  // at most block_bytes() each, each a multiple of `unit` bytes (but for the
  // last) and all after the first starting on a page; `buffer` holds
  // block_bytes() where the input is read.
  template <typename Use>
  void ForEachBlock(std::uint64_t offset, std::uint64_t count, unsigned unit, std::byte* buffer, Use use) {
    const std::uint64_t lead_in = LeadIn(offset, unit);
    for (std::uint64_t done = 0; done < count;) {
      const std::uint64_t want = done == 0 && lead_in != 0 ? lead_in : block_bytes_;
      const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(want, count - done));
      if (const std::byte* block = input_.View(offset + done, size)) {
        auto run = [&] { use(block, size); };
        input_.UseMapped(run);
      } else {
        {
          const std::lock_guard<std::mutex> lock(read_lock_);
          input_.ReadExactAt(offset + done, buffer, size);
        }
        use(buffer, size);
      }
      done += size;
      Advance(size);
    }
  }
  // Reads [offset, offset + count) into `out` (count at most block_bytes()).
  void Read(std::uint64_t offset, std::size_t count, std::byte* out);
  void CheckNotCutShort() const { input_.CheckNotCutShort(); }
  // Whether the input is mapped, so that threads read it without waiting on each other.
  bool mapped() const { return input_.View(0, 0) != nullptr; }

 private:
  // Bytes from `start` to the first page boundary that is also a `unit`
  // boundary (0 when there is none): reads of whole pages cost the system
  // far less than ones that straddle them.
  static std::uint64_t LeadIn(std::uint64_t start, unsigned unit);
  void Advance(std::size_t bytes);

  InputFile& input_;
  std::size_t block_bytes_;
  std::uint64_t total_bytes_;
  ProgressFn progress_;
  const char* pass_;
  std::mutex read_lock_;
  std::mutex progress_lock_;
  std::atomic<std::uint64_t> done_{0};
  int reported_percent_ = -1;
};

}  // namespace normalize
