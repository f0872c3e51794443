#include "samples/file_parts.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

namespace normalize {

std::vector<FilePart> SplitIntoParts(std::uint64_t units, std::uint64_t least, std::uint64_t align, unsigned threads) {
  least = std::max<std::uint64_t>(least, 1);
  align = std::max<std::uint64_t>(align, 1);
  if (threads <= 1 || units < 2 * least) return {FilePart{0, units}};
  const std::uint64_t wanted = std::min<std::uint64_t>(4ull * threads, units / least);
  const std::uint64_t length = std::max<std::uint64_t>(align, (units / wanted + align - 1) / align * align);
  std::vector<FilePart> parts;
  for (std::uint64_t first = 0; first < units; first += length) {
    parts.push_back(FilePart{first, std::min(units, first + length)});
  }
  return parts;
}

void RunParts(std::size_t parts, unsigned threads, const std::function<void(std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr failure;
  std::mutex failure_lock;
  const auto take = [&] {
    for (std::size_t i = next++; i < parts && !failed; i = next++) {
      try {
        work(i);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(failure_lock);
        if (!failure) failure = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> helpers;
  const std::size_t wanted = std::min<std::size_t>(threads, parts);
  try {
    for (std::size_t t = 1; t < wanted; ++t) helpers.emplace_back(take);
  } catch (const std::system_error&) {
    // No thread to be had: the ones there are (the caller's at least) take every part.
  }
  take();
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

SharedInput::SharedInput(InputFile& input, std::size_t block_bytes, std::uint64_t total_bytes, ProgressFn progress,
                         const char* pass)
    : input_(input),
      block_bytes_(block_bytes),
      total_bytes_(total_bytes),
      progress_(std::move(progress)),
      pass_(pass) {}

std::uint64_t SharedInput::LeadIn(std::uint64_t start, unsigned unit) {
  constexpr std::uint64_t kPage = 4096;
  const std::uint64_t first_page = (start + kPage - 1) / kPage * kPage;
  for (std::uint64_t page = first_page; page < first_page + unit * kPage; page += kPage) {
    if ((page - start) % unit == 0) return page - start;
  }
  return 0;
}

void SharedInput::Read(std::uint64_t offset, std::size_t count, std::byte* out) {
  if (const std::byte* block = input_.View(offset, count)) {
    auto run = [&] { std::memcpy(out, block, count); };
    input_.UseMapped(run);
    return;
  }
  const std::lock_guard<std::mutex> lock(read_lock_);
  input_.ReadExactAt(offset, out, count);
}

void SharedInput::Advance(std::size_t bytes) {
  const std::uint64_t done = done_ += bytes;
  if (!progress_ || total_bytes_ == 0) return;
  const int percent = static_cast<int>(std::min(done, total_bytes_) * 100 / total_bytes_);
  const std::lock_guard<std::mutex> lock(progress_lock_);
  if (percent <= reported_percent_) return;
  reported_percent_ = percent;
  progress_(pass_, static_cast<double>(std::min(done, total_bytes_)) / static_cast<double>(total_bytes_));
}

}  // namespace normalize
