#include "wav/chunk_walk.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "failure.h"
#include "wav/header_errors.h"
#include "wav/input_file.h"
#include "wav/le_bytes.h"
#include "wav/riff.h"

namespace normalize {
namespace {

constexpr std::uint64_t kMaxSize = ~std::uint64_t{0};

bool IdIs(const ChunkId& id, const char* text) { return std::memcmp(id.data(), text, 4) == 0; }

std::string Printable(const ChunkId& id) {
  std::string text;
  for (char c : id) text += (c >= 0x20 && c < 0x7F) ? c : '?';
  return "'" + text + "'";
}

bool SizeUnset(std::uint64_t size) { return size == 0 || size == riff::kSizeInDs64; }

const LayoutWarning kDataSizeUnset{
    "the data chunk's size is not filled in (an unfinished header); the data is taken to run to the file's end",
    "the result's data size will be filled in"};

// A chunk header that a writer could have meant: a printable id and a size
// that the file holds.
bool LooksLikeChunk(InputFile& input, std::uint64_t pos) {
  const std::uint64_t file_size = input.size();
  unsigned char header[riff::kChunkHeaderBytes];
  if (pos > file_size || file_size - pos < sizeof header) return false;
  input.ReadExactAt(pos, header, sizeof header);
  const bool printable =
      std::all_of(header, header + 4, [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
  return printable && GetLe32(header + 4) <= file_size - pos - sizeof header;
}

// How far into the file the chunk headers from `pos` on lead, each taken as a
// chunk a writer could have meant; a few hops tell a sound chain from bytes
// that merely start like a header.
std::uint64_t ChainReach(InputFile& input, std::uint64_t pos) {
  constexpr int kHops = 64;
  for (int hop = 0; hop < kHops && LooksLikeChunk(input, pos); ++hop) {
    unsigned char size_field[4];
    input.ReadExactAt(pos + 4, size_field, sizeof size_field);
    const std::uint32_t size = GetLe32(size_field);
    pos += riff::kChunkHeaderBytes + size;
    if (size % 2 != 0 && pos < input.size() && !LooksLikeChunk(input, pos)) ++pos;
  }
  return pos;
}

// After an odd-sized chunk that ends at `pad`: true when its writer left out
// the pad byte, that is when the chunks read from the chunk's own end lead
// further than those read after the pad byte. A RIFF size that ends just
// after the pad byte says that it is there.
bool PadLeftOut(InputFile& input, std::uint64_t pad, std::uint64_t riff_end) {
  if (pad + 1 >= input.size() || riff_end == pad + 1 || !LooksLikeChunk(input, pad)) return false;
  return ChainReach(input, pad) > ChainReach(input, pad + 1);
}

// Walks the chunks from the first to the file's end: the RIFF size decides
// nothing, since writers that stream or append often leave it wrong, but every
// way in which it is wrong is reported.
class ChunkWalk {
 public:
  ChunkWalk(InputFile& input, const Top& top, WavLayout& layout, FmtBytes& fmt)
      : input_(input),
        top_(top),
        layout_(layout),
        fmt_(fmt),
        file_size_(input.size()),
        rf64_(top.container == Container::kRf64),
        // Only a RIFF size that is set and short of the file's end has chunks after it.
        riff_end_(top.riff_size_set ? top.riff_end : kMaxSize) {}

  void Run() {
    WarnAboutRiffSize();
    while (pos_ + riff::kChunkHeaderBytes <= file_size_ && !data_to_end_) {
      if (pos_ >= riff_end_ && !LooksLikeChunk(input_, pos_)) break;
      // Once the audio and its format are known, what follows cannot take
      // them away: bytes that are no chunk are kept as they are.
      if (fmt_.found && have_data_ && !LooksLikeChunk(input_, pos_)) break;
      Next();
    }
    WarnAboutEnd();
    if (!fmt_.found) Malformed("no 'fmt ' chunk");
    if (!have_data_) Malformed("no 'data' chunk");
  }

 private:
  void WarnAboutRiffSize() {
    if (!top_.riff_size_set) {
      layout_.warnings.push_back(
          {"the RIFF size is not filled in (an unfinished header); the chunks up to the file's end are read",
           "the result's RIFF size will be filled in"});
    } else if (top_.riff_end > file_size_) {
      layout_.warnings.push_back({"the RIFF size says " + std::to_string(top_.riff_end) + " bytes, the file holds " +
                                      std::to_string(file_size_),
                                  "the result's RIFF size will be right"});
    }
  }

  // The chunk at pos_, taken into the layout; pos_ moves past it.
  void Next() {
    unsigned char header[riff::kChunkHeaderBytes];
    input_.ReadExactAt(pos_, header, sizeof header);
    Chunk chunk;
    std::memcpy(chunk.id.data(), header, 4);
    chunk.offset = pos_;
    std::uint64_t size = GetLe32(header + 4);
    if (rf64_ && IdIs(chunk.id, "data") && size == riff::kSizeInDs64) size = top_.ds64_data_size;
    const std::uint64_t payload = pos_ + riff::kChunkHeaderBytes;
    chunk.size = SizeThere(chunk, size, payload);
    if (!rf64_ && chunk.size > riff::kSizeInDs64 - 1) {
      Unsupported("a RIFF file with a chunk of 4 GiB or more (only RF64 can hold one)");
    }
    pos_ = payload + chunk.size;
    if (chunk.size % 2 != 0 && !data_to_end_) StepOverPad(chunk);
    kept_end_ = pos_;
    Keep(chunk, payload);
  }

  // The size the file really holds for the chunk whose header says `size`:
  // a data chunk runs to the file's end where its size is unset or too large.
  std::uint64_t SizeThere(const Chunk& chunk, std::uint64_t size, std::uint64_t payload) {
    const bool is_data = IdIs(chunk.id, "data");
    const std::uint64_t remaining = file_size_ - payload;
    if (is_data && size == 0 && remaining > 0 && !LooksLikeChunk(input_, payload)) {
      layout_.warnings.push_back(kDataSizeUnset);
      data_to_end_ = true;
      return remaining;
    }
    if (size <= remaining) return size;
    if (!is_data) NoChunkThere(chunk, size, remaining);
    layout_.warnings.push_back(
        SizeUnset(size) ? kDataSizeUnset
                        : LayoutWarning{"the data chunk claims " + std::to_string(size) + " bytes, only " +
                                            std::to_string(remaining) + " are there; those are read",
                                        "the result's data size will be " + std::to_string(remaining)});
    data_to_end_ = true;
    return remaining;
  }

  // An id read from the middle of other bytes would name a chunk that is not there.
  [[noreturn]] void NoChunkThere(const Chunk& chunk, std::uint64_t size, std::uint64_t remaining) const {
    const std::string claim =
        " claims " + std::to_string(size) + " bytes, only " + std::to_string(remaining) + " remain";
    if (odd_before_) {
      Malformed("no chunk header follows the odd-sized chunk " + Printable(*odd_before_) +
                ", with its pad byte or without (the header at byte " + std::to_string(chunk.offset) + claim + ")");
    }
    if (Printable(chunk.id).find('?') != std::string::npos) {
      Malformed("the bytes at " + std::to_string(chunk.offset) + " are no chunk header (as one, it" + claim + ")");
    }
    Malformed("chunk " + Printable(chunk.id) + claim);
  }

  void StepOverPad(Chunk& chunk) {
    const bool left_out = pos_ < file_size_ && PadLeftOut(input_, pos_, riff_end_);
    chunk.pad_in_file = pos_ < file_size_ && !left_out;
    if (chunk.pad_in_file) {
      ++pos_;
      return;
    }
    layout_.warnings.push_back({"chunk " + Printable(chunk.id) + " of odd size " + std::to_string(chunk.size) +
                                    " lacks its pad byte" + (left_out ? " (the next chunk starts right after it)" : ""),
                                "the pad byte will be added in the result"});
  }

  void Keep(const Chunk& chunk, std::uint64_t payload) {
    if (IdIs(chunk.id, "fmt ")) {
      if (fmt_.found) Malformed("more than one 'fmt ' chunk");
      if (chunk.size < 16) Malformed("'fmt ' chunk of " + std::to_string(chunk.size) + " bytes, 16 needed");
      fmt_.found = true;
      fmt_.size = chunk.size;
      const auto read = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size, sizeof fmt_.bytes));
      input_.ReadExactAt(payload, fmt_.bytes, read);
    } else if (IdIs(chunk.id, "data")) {
      if (have_data_) Malformed("more than one 'data' chunk");
      have_data_ = true;
      layout_.data = layout_.chunks.size();
    } else if (rf64_ && IdIs(chunk.id, "ds64") && chunk.offset == riff::kTopBytes) {
      // Only the first chunk is the size table; a later "ds64" is kept as it is.
      layout_.ds64 = layout_.chunks.size();
    }
    layout_.chunks.push_back(chunk);
    odd_before_ = chunk.size % 2 != 0 ? std::optional<ChunkId>(chunk.id) : std::nullopt;
  }

  void WarnAboutEnd() {
    if (top_.riff_size_set && kept_end_ > top_.riff_end && top_.riff_end < file_size_) {
      layout_.warnings.push_back({"the RIFF size says " + std::to_string(top_.riff_end) +
                                      " bytes, but its chunks run to " + std::to_string(kept_end_) +
                                      "; the chunks after that size are read",
                                  "they will be kept in the result"});
    }
    if (kept_end_ < file_size_) {
      layout_.trailing = TrailingBytes{kept_end_, file_size_ - kept_end_};
      layout_.warnings.push_back({std::to_string(file_size_ - kept_end_) + " bytes after the last chunk (at byte " +
                                      std::to_string(kept_end_) + ") are not a chunk",
                                  "they will be kept as they are after the result's last chunk"});
    }
  }

  InputFile& input_;
  const Top& top_;
  WavLayout& layout_;
  FmtBytes& fmt_;
  const std::uint64_t file_size_;
  const bool rf64_;
  const std::uint64_t riff_end_;
  bool have_data_ = false;
  bool data_to_end_ = false;
  std::uint64_t pos_ = riff::kTopBytes;
  std::uint64_t kept_end_ = riff::kTopBytes;  // the end of the last chunk kept
  std::optional<ChunkId> odd_before_;         // the chunk before, when its size was odd
};

}  // namespace

Top ReadTop(InputFile& input) {
  unsigned char head[riff::kTopBytes] = {};
  const std::size_t got = input.ReadAt(0, head, sizeof head);
  const bool riff = std::memcmp(head, "RIFF", 4) == 0;
  const bool rf64 = std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0;
  if (got >= 12 && std::memcmp(head, "RIFX", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
    throw Failure(ExitCode::kUnsupported, "big-endian (RIFX) WAV files are not handled");
  }
  if (got < 4 || (!riff && !rf64)) {
    throw Failure(ExitCode::kNotWav, "not a WAV file (no RIFF or RF64 header)");
  }
  if (got < sizeof head) Malformed("truncated RIFF header");
  if (std::memcmp(head + 8, "WAVE", 4) != 0) {
    throw Failure(ExitCode::kNotWav, "not a WAV file (a RIFF file, but not of form WAVE)");
  }

  Top top;
  top.container = rf64 ? Container::kRf64 : Container::kRiff;
  std::uint64_t riff_size = GetLe32(head + 4);
  if (rf64) {
    unsigned char ds64[riff::kChunkHeaderBytes + riff::kDs64Fields] = {};
    if (input.ReadAt(riff::kTopBytes, ds64, sizeof ds64) != sizeof ds64 ||
        std::memcmp(ds64, "ds64", 4) != 0 || GetLe32(ds64 + 4) < riff::kDs64Fields) {
      Malformed("RF64 file without a complete 'ds64' chunk");
    }
    riff_size = GetLe64(ds64 + 8);
    top.ds64_data_size = GetLe64(ds64 + 16);
  }
  top.riff_size_set = !SizeUnset(riff_size);
  // A size too large to add the header to still lies beyond the file's end.
  top.riff_end = riff_size > kMaxSize - 8 ? kMaxSize : 8 + riff_size;
  return top;
}

void WalkChunks(InputFile& input, const Top& top, WavLayout& layout, FmtBytes& fmt) {
  ChunkWalk(input, top, layout, fmt).Run();
}

}  // namespace normalize
