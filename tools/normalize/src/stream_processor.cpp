#include "stream_processor.h"

#include <algorithm>
#include <cstring>

#include "atomic_output.h"
#include "input_file.h"
#include "le_bytes.h"

namespace normalize {
namespace {

// Every sample size (1, 2, 3, 4, 8 bytes) divides this, so a buffer of a
// multiple of it never splits a sample.
constexpr std::size_t kSampleSizesLcm = 24;
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;

std::uint64_t Padded(std::uint64_t size) { return size + size % 2; }

}  // namespace

StreamProcessor::StreamProcessor(InputFile& input, const WavLayout& layout,
                                 std::size_t buffer_bytes, ProgressFn progress)
    : input_(input),
      layout_(layout),
      buffer_bytes_(std::max(kSampleSizesLcm, buffer_bytes - buffer_bytes % kSampleSizesLcm)),
      buffer_(new std::byte[buffer_bytes_]),
      progress_(std::move(progress)) {}

void StreamProcessor::Report(const char* pass, std::uint64_t done, std::uint64_t total) {
  if (!progress_ || total == 0) return;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == reported_percent_) return;
  reported_percent_ = percent;
  progress_(pass, static_cast<double>(done) / static_cast<double>(total));
}

PeakTracker StreamProcessor::ScanPeak() {
  const Chunk& data = layout_.data_chunk();
  const unsigned sample_bytes = layout_.format.container_bytes;
  const std::uint64_t total = data.size - data.size % sample_bytes;
  PeakTracker peak;
  reported_percent_ = -1;
  for (std::uint64_t done = 0; done < total;) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_bytes_, total - done));
    input_.ReadExactAt(data.offset + 8 + done, buffer_.get(), count);
    normalize::ScanPeak(layout_.format, buffer_.get(), count / sample_bytes, peak);
    done += count;
    Report("scanning", done, total);
  }
  return peak;
}

WriteResult StreamProcessor::Write(double gain, ByteSink& out) {
  WriteResult result;
  result.bytes = OutputSize();
  WriteTop(out, result.bytes);
  for (std::size_t i = 0; i < layout_.chunks.size(); ++i) {
    const Chunk& chunk = layout_.chunks[i];
    if (i == layout_.data) {
      const bool in_ds64 = layout_.container == Container::kRf64;
      WriteChunkHeader(out, chunk, in_ds64 ? kSizeInDs64 : static_cast<std::uint32_t>(chunk.size));
      WriteSamples(out, gain, result);
    } else if (layout_.container == Container::kRf64 && i == layout_.ds64) {
      WriteDs64(out, chunk, result.bytes);
    } else {
      // Kept byte for byte, header included.
      CopyBytes(out, chunk.offset, 8 + chunk.size);
    }
    WritePad(out, chunk);
  }
  return result;
}

std::uint64_t StreamProcessor::OutputSize() const {
  std::uint64_t total = 12;
  for (const Chunk& chunk : layout_.chunks) total += 8 + Padded(chunk.size);
  return total;
}

void StreamProcessor::WriteTop(ByteSink& out, std::uint64_t total) {
  unsigned char top[12];
  input_.ReadExactAt(0, top, sizeof top);
  const std::uint64_t riff_size = total - 8;
  const bool fits = layout_.container == Container::kRiff && riff_size <= kSizeInDs64;
  PutLe32(top + 4, fits ? static_cast<std::uint32_t>(riff_size) : kSizeInDs64);
  out.Write(top, sizeof top);
}

void StreamProcessor::WriteChunkHeader(ByteSink& out, const Chunk& chunk, std::uint32_t size_field) {
  unsigned char header[8];
  std::memcpy(header, chunk.id.data(), 4);
  PutLe32(header + 4, size_field);
  out.Write(header, sizeof header);
}

void StreamProcessor::WriteDs64(ByteSink& out, const Chunk& chunk, std::uint64_t total) {
  // The sizes it holds are the new file's; anything after them (the table of
  // other long chunks) is kept.
  unsigned char head[8 + 24];
  input_.ReadExactAt(chunk.offset, head, sizeof head);
  const std::uint64_t data_size = layout_.data_chunk().size;
  PutLe64(head + 8, total - 8);
  PutLe64(head + 16, data_size);
  PutLe64(head + 24, data_size / layout_.format.block_align);
  out.Write(head, sizeof head);
  CopyBytes(out, chunk.offset + sizeof head, chunk.size - 24);
}

void StreamProcessor::WriteSamples(ByteSink& out, double gain, WriteResult& result) {
  const Chunk& data = layout_.data_chunk();
  const unsigned sample_bytes = layout_.format.container_bytes;
  const std::uint64_t whole = data.size - data.size % sample_bytes;
  reported_percent_ = -1;
  for (std::uint64_t done = 0; done < whole;) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_bytes_, whole - done));
    input_.ReadExactAt(data.offset + 8 + done, buffer_.get(), count);
    ApplyGain(layout_.format, buffer_.get(), count / sample_bytes, gain, result.before, result.clipped);
    out.Write(buffer_.get(), count);
    done += count;
    Report("writing", done, whole);
  }
  CopyBytes(out, data.offset + 8 + whole, data.size - whole);
}

void StreamProcessor::CopyBytes(ByteSink& out, std::uint64_t offset, std::uint64_t count) {
  for (std::uint64_t done = 0; done < count;) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_bytes_, count - done));
    input_.ReadExactAt(offset + done, buffer_.get(), part);
    out.Write(buffer_.get(), part);
    done += part;
  }
}

void StreamProcessor::WritePad(ByteSink& out, const Chunk& chunk) {
  if (chunk.size % 2 == 0) return;
  if (chunk.pad_in_file) return CopyBytes(out, chunk.offset + 8 + chunk.size, 1);
  const unsigned char zero = 0;
  out.Write(&zero, 1);
}

}  // namespace normalize
