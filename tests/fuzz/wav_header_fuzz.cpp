// The tool's WAV header parser over arbitrary bytes: it never crashes, refuses
// with its own failures only, and what it accepts describes the file it read:
// chunks in order and inside the file, one data chunk, a consistent format.
// Run with -malloc_limit_mb (tests/fuzz/wav_header.options): no header field
// may decide the size of an allocation.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "failure.h"
#include "wav/input_file.h"
#include "wav/wav_format.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The parser reads through a file; one in-memory file serves every input.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("wav_header_fuzz", 0)) {
    Check(fd_ >= 0);
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  const std::string& Write(const std::uint8_t* data, std::size_t size) {
    Check(ftruncate(fd_, 0) == 0);
    Check(pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size));
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

bool IdIs(const normalize::ChunkId& id, const char* text) { return std::memcmp(id.data(), text, 4) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  normalize::WavLayout layout;
  try {
    // Closed before the file is written again: an open input holds the run's
    // lock on it, which a second input of the same file is refused.
    normalize::InputFile input(file.Write(data, size));
    layout = normalize::ReadWavLayout(input);
  } catch (const normalize::Failure& failure) {
    using normalize::ExitCode;
    Check(failure.code() == ExitCode::kNotWav || failure.code() == ExitCode::kUnsupported ||
          failure.code() == ExitCode::kInput);
    Check(std::strlen(failure.what()) > 0);
    return 0;
  }

  Check(size >= 12 + 8 + 16 + 8);  // RIFF header, fmt chunk, data chunk header
  Check(!layout.chunks.empty() && layout.data < layout.chunks.size());
  Check(IdIs(layout.data_chunk().id, "data"));
  std::uint64_t end = 12;
  int fmtChunks = 0, dataChunks = 0;
  for (const normalize::Chunk& chunk : layout.chunks) {
    Check(chunk.offset >= end);
    Check(chunk.offset + 8 <= size && chunk.size <= size - chunk.offset - 8);
    end = chunk.offset + 8 + chunk.size + (chunk.pad_in_file ? 1 : 0);
    Check(end <= size);
    fmtChunks += IdIs(chunk.id, "fmt ");
    dataChunks += IdIs(chunk.id, "data");
  }
  Check(fmtChunks == 1 && dataChunks == 1);
  if (layout.container == normalize::Container::kRf64) Check(IdIs(layout.chunks[layout.ds64].id, "ds64"));

  const normalize::SampleFormat& f = layout.format;
  const unsigned bytes = f.container_bytes;
  Check(f.channels > 0);
  Check(bytes == 1 || bytes == 2 || bytes == 3 || bytes == 4 || bytes == 8);
  Check(f.block_align == f.channels * bytes);
  Check(f.valid_bits > 0 && f.valid_bits <= bytes * 8);
  Check(!normalize::Describe(f).empty());

  // A RIFF size beyond the file's end, however large, means the file's end:
  // when the stated size already covered the whole file, the largest one gives
  // the same chunks.
  const bool rf64 = layout.container == normalize::Container::kRf64;
  std::string copy(reinterpret_cast<const char*>(data), size);
  const std::size_t at = rf64 ? 20 : 4, width = rf64 ? 8 : 4;
  std::uint64_t stated = 0;
  for (std::size_t i = 0; i < width; ++i) stated |= std::uint64_t{static_cast<unsigned char>(copy[at + i])} << (8 * i);
  if (stated + 8 >= size && stated < (rf64 ? ~std::uint64_t{0} : 0xFFFFFFFFu)) {
    for (std::size_t i = 0; i < width; ++i) copy[at + i] = '\xFF';
    normalize::InputFile larger(file.Write(reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size()));
    const normalize::WavLayout same = normalize::ReadWavLayout(larger);  // a failure here is a finding
    Check(same.chunks.size() == layout.chunks.size() && same.data == layout.data);
  }
  return 0;
}
