#include "samples/stream_processor.h"

#include <algorithm>
#include <cstring>

#include "output/atomic_output.h"
#include "wav/input_file.h"
#include "wav/le_bytes.h"
#include "wav/riff.h"

namespace normalize {
namespace {

// Reads and writes of whole, aligned pages are much cheaper for the system
// than ones that straddle them.
constexpr std::uint64_t kPage = 4096;

std::uint64_t Padded(std::uint64_t size) { return size + size % 2; }

// The block size: a multiple of both the page and the sample size.
std::size_t BlockBytes(std::size_t buffer_bytes, unsigned sample_bytes) {
  const std::size_t unit = sample_bytes % 3 == 0 ? 3 * kPage : kPage;
  return std::max(unit, buffer_bytes - buffer_bytes % unit);
}

// Bytes from `start` to the first page boundary that is also a sample
// boundary, so that the blocks after it are page-aligned in both files (the
// output's data sits where the input's does); 0 when there is none.
std::uint64_t LeadIn(std::uint64_t start, unsigned sample_bytes) {
  const std::uint64_t first_page = (start + kPage - 1) / kPage * kPage;
  for (std::uint64_t page = first_page; page < first_page + sample_bytes * kPage; page += kPage) {
    if ((page - start) % sample_bytes == 0) return page - start;
  }
  return 0;
}

}  // namespace

StreamProcessor::StreamProcessor(InputFile& input, const WavLayout& layout,
                                 std::size_t buffer_bytes, ProgressFn progress)
    : input_(input),
      layout_(layout),
      buffer_bytes_(BlockBytes(buffer_bytes, layout.format.container_bytes)),
      buffer_(new std::byte[buffer_bytes_]),
      progress_(std::move(progress)) {}

void StreamProcessor::Report(const char* pass, std::uint64_t done, std::uint64_t total) {
  if (!progress_ || total == 0) return;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == reported_percent_) return;
  reported_percent_ = percent;
  progress_(pass, static_cast<double>(done) / static_cast<double>(total));
}

template <typename Compute, typename Then>
void StreamProcessor::ForEachSampleBlock(std::uint64_t offset, std::uint64_t count, Compute compute,
                                         Then then) {
  const std::uint64_t lead_in = LeadIn(offset, layout_.format.container_bytes);
  for (std::uint64_t done = 0; done < count;) {
    const std::uint64_t want = done == 0 && lead_in != 0 ? lead_in : buffer_bytes_;
    const auto size = static_cast<std::size_t>(std::min(want, count - done));
    // Straight from the mapped input where there is one: one copy fewer.
    if (const std::byte* block = input_.View(offset + done, size)) {
      auto use = [&] { compute(block, size); };
      input_.UseMapped(use);
    } else {
      input_.ReadExactAt(offset + done, buffer_.get(), size);
      compute(buffer_.get(), size);
    }
    then(size);
    done += size;
  }
  input_.CheckNotCutShort();
}

PeakTracker StreamProcessor::ScanPeak() {
  const Chunk& data = layout_.data_chunk();
  const unsigned sample_bytes = layout_.format.container_bytes;
  const std::uint64_t total = data.size - data.size % sample_bytes;
  PeakTracker peak;
  reported_percent_ = -1;
  std::uint64_t done = 0;
  ForEachSampleBlock(
      data.offset + riff::kChunkHeaderBytes, total,
      [&](const std::byte* block, std::size_t size) {
        normalize::ScanPeak(layout_.format, block, size / sample_bytes, peak);
      },
      [&](std::size_t size) {
        done += size;
        Report("scanning", done, total);
      });
  return peak;
}

void StreamProcessor::Measure(FrameSink& sink) {
  const Chunk& data = layout_.data_chunk();
  const std::uint64_t total = data.size - data.size % layout_.format.block_align;
  reported_percent_ = -1;
  std::uint64_t done = 0;
  // The result's samples, from the start of the noise; their extremes and
  // clamps are the write's business.
  std::optional<ResultView> view = result_view_;
  Dither* dither = view && view->dither ? &*view->dither : nullptr;
  std::optional<LimitedGain> limited;
  if (view && view->limit) limited.emplace(LimitedGainOf(view->gain, *view->limit));
  PeakTracker before;
  std::uint64_t clipped = 0;
  ForEachSampleBlock(
      data.offset + riff::kChunkHeaderBytes, total,
      [&](const std::byte* block, std::size_t size) {
        if (!view) return sink.Add(block, size);
        if (limited) return limited->Take(block, size);
        const std::size_t samples = size / layout_.format.container_bytes;
        if (dither) {
          ApplyGainDithered(layout_.format, block, result_buffer_.get(), samples, view->gain, *dither, before,
                            clipped);
        } else {
          ApplyGain(layout_.format, block, result_buffer_.get(), samples, view->gain, before, clipped);
        }
        sink.Add(result_buffer_.get(), size);
      },
      [&](std::size_t size) {
        if (limited && view->signal) {
          const std::size_t frames = limited->GiveSignal(signal_buffer_, done + size == total);
          sink.Add(reinterpret_cast<const std::byte*>(signal_buffer_.data()),
                   frames * layout_.format.channels * sizeof(float));
        } else if (limited) {
          limited_buffer_.resize(limited->room());
          sink.Add(limited_buffer_.data(),
                   limited->Give(limited_buffer_.data(), done + size == total, dither, before, clipped));
        }
        done += size;
        Report("measuring", done, total);
      });
  if (limited) measured_limiting_ = limited->report();
}

void StreamProcessor::MeasureResultOf(double gain, std::optional<Dither> dither,
                                      std::optional<LimiterSettings> limit) {
  result_view_ = ResultView{gain, std::move(dither), limit, false};
  if (!result_buffer_) result_buffer_.reset(new std::byte[buffer_bytes_]);
}

LimitedGain StreamProcessor::LimitedGainOf(double gain, const LimiterSettings& limit) {
  if (most_kept_gain_ == 0) return LimitedGain(layout_.format, gain, limit, buffer_bytes_);
  if (reading_) return LimitedGain(layout_.format, gain, limit, buffer_bytes_, nullptr, &*reading_);
  // The lowest bar any pass after this one looks closely over.
  reading_.emplace();
  reading_->floor = PeakLimiter::NearOf(limit.threshold / most_kept_gain_);
  return LimitedGain(layout_.format, gain, limit, buffer_bytes_, &*reading_);
}

WriteResult StreamProcessor::Write(double gain, ByteSink& out, Dither* dither, const LimiterSettings* limit) {
  WriteResult result;
  const std::uint64_t riff_total = OutputSize();
  result.bytes = riff_total + layout_.trailing.size;
  WriteTop(out, riff_total);
  for (std::size_t i = 0; i < layout_.chunks.size(); ++i) {
    const Chunk& chunk = layout_.chunks[i];
    if (i == layout_.data) {
      const bool in_ds64 = layout_.container == Container::kRf64;
      WriteChunkHeader(out, chunk, in_ds64 ? riff::kSizeInDs64 : static_cast<std::uint32_t>(chunk.size));
      WriteSamples(out, gain, dither, limit, result);
    } else if (layout_.container == Container::kRf64 && i == layout_.ds64) {
      WriteDs64(out, chunk, riff_total);
    } else {
      // Kept byte for byte, header included, but for what is replaced.
      CopyReplacing(out, chunk.offset, riff::kChunkHeaderBytes + chunk.size);
    }
    WritePad(out, chunk);
  }
  CopyBytes(out, layout_.trailing.offset, layout_.trailing.size);
  return result;
}

std::uint64_t StreamProcessor::OutputSize() const {
  std::uint64_t total = riff::kTopBytes;
  for (const Chunk& chunk : layout_.chunks) total += riff::kChunkHeaderBytes + Padded(chunk.size);
  return total;
}

void StreamProcessor::WriteTop(ByteSink& out, std::uint64_t total) {
  unsigned char top[riff::kTopBytes];
  input_.ReadExactAt(0, top, sizeof top);
  const std::uint64_t riff_size = total - 8;
  const bool fits = layout_.container == Container::kRiff && riff_size <= riff::kSizeInDs64;
  PutLe32(top + 4, fits ? static_cast<std::uint32_t>(riff_size) : riff::kSizeInDs64);
  out.Write(top, sizeof top);
}

void StreamProcessor::WriteChunkHeader(ByteSink& out, const Chunk& chunk, std::uint32_t size_field) {
  unsigned char header[riff::kChunkHeaderBytes];
  std::memcpy(header, chunk.id.data(), 4);
  PutLe32(header + 4, size_field);
  out.Write(header, sizeof header);
}

void StreamProcessor::WriteDs64(ByteSink& out, const Chunk& chunk, std::uint64_t total) {
  // The sizes it holds are the new file's; anything after them (the table of
  // other long chunks) is kept.
  unsigned char head[riff::kChunkHeaderBytes + riff::kDs64Fields];
  input_.ReadExactAt(chunk.offset, head, sizeof head);
  const std::uint64_t data_size = layout_.data_chunk().size;
  PutLe64(head + 8, total - 8);
  PutLe64(head + 16, data_size);
  PutLe64(head + 24, data_size / layout_.format.block_align);
  out.Write(head, sizeof head);
  CopyBytes(out, chunk.offset + sizeof head, chunk.size - riff::kDs64Fields);
}

void StreamProcessor::WriteSamples(ByteSink& out, double gain, Dither* dither, const LimiterSettings* limit,
                                   WriteResult& result) {
  const Chunk& data = layout_.data_chunk();
  const unsigned sample_bytes = layout_.format.container_bytes;
  const std::uint64_t whole = data.size - data.size % sample_bytes;
  reported_percent_ = -1;
  std::uint64_t done = 0;
  std::optional<LimitedGain> limited;
  if (limit) limited.emplace(LimitedGainOf(gain, *limit));
  // Where the block was read into buffer_ (not mapped), the result goes to a
  // buffer of its own, so that the two can be compared.
  if (!result_buffer_) result_buffer_.reset(new std::byte[buffer_bytes_]);
  std::byte* written = nullptr;
  ForEachSampleBlock(
      data.offset + riff::kChunkHeaderBytes, whole,
      [&](const std::byte* block, std::size_t size) {
        if (limited) return limited->Take(block, size);
        written = block == buffer_.get() ? result_buffer_.get() : buffer_.get();
        if (dither) {
          ApplyGainDithered(layout_.format, block, written, size / sample_bytes, gain, *dither, result.before,
                            result.clipped);
        } else {
          ApplyGain(layout_.format, block, written, size / sample_bytes, gain, result.before, result.clipped);
        }
        // What was written, for the figures reported and for a result that
        // changes nothing; the block is still in the cache.
        normalize::ScanPeak(layout_.format, written, size / sample_bytes, result.after);
        result.samples_changed = result.samples_changed || std::memcmp(block, written, size) != 0;
      },
      [&](std::size_t size) {
        if (limited) {
          // The limiter only runs where peaks are over a ceiling: the result differs.
          limited_buffer_.resize(limited->room());
          const std::size_t given = limited->Give(limited_buffer_.data(), done + size == whole, dither, result.before,
                                                  result.clipped);
          normalize::ScanPeak(layout_.format, limited_buffer_.data(), given / sample_bytes, result.after);
          result.samples_changed = true;
          out.Write(limited_buffer_.data(), given);
        } else {
          out.Write(written, size);
        }
        done += size;
        Report("writing", done, whole);
      });
  if (limited) result.limited = limited->report();
  CopyBytes(out, data.offset + riff::kChunkHeaderBytes + whole, data.size - whole);
}

void StreamProcessor::CopyBytes(ByteSink& out, std::uint64_t offset, std::uint64_t count) {
  for (std::uint64_t done = 0; done < count;) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_bytes_, count - done));
    input_.ReadExactAt(offset + done, buffer_.get(), part);
    out.Write(buffer_.get(), part);
    done += part;
  }
}

void StreamProcessor::Replace(std::uint64_t offset, std::vector<unsigned char> bytes) {
  const auto at = std::find_if(replacements_.begin(), replacements_.end(),
                               [&](const Replacement& r) { return r.offset > offset; });
  replacements_.insert(at, Replacement{offset, std::move(bytes)});
}

void StreamProcessor::CopyReplacing(ByteSink& out, std::uint64_t offset, std::uint64_t count) {
  const std::uint64_t end = offset + count;
  for (const Replacement& r : replacements_) {
    if (r.offset < offset || r.offset + r.bytes.size() > end) continue;
    CopyBytes(out, offset, r.offset - offset);
    out.Write(r.bytes.data(), r.bytes.size());
    offset = r.offset + r.bytes.size();
  }
  CopyBytes(out, offset, end - offset);
}

void StreamProcessor::WritePad(ByteSink& out, const Chunk& chunk) {
  if (chunk.size % 2 == 0) return;
  if (chunk.pad_in_file) return CopyBytes(out, chunk.offset + riff::kChunkHeaderBytes + chunk.size, 1);
  const unsigned char zero = 0;
  out.Write(&zero, 1);
}

}  // namespace normalize
