#include "wav/wav_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "failure.h"
#include "wav/input_file.h"
#include "wav/le_bytes.h"
#include "wav/riff.h"

namespace normalize {
namespace {

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::size_t kFmtBytesRead = 40;  // the longest fmt we interpret (EXTENSIBLE)
constexpr std::uint64_t kMaxSize = ~std::uint64_t{0};

// The tail that every KSDATAFORMAT_SUBTYPE_* GUID shares after its 16-bit tag.
constexpr unsigned char kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

[[noreturn]] void Malformed(const std::string& message) {
  throw Failure(ExitCode::kNotWav, "malformed WAV header: " + message);
}

[[noreturn]] void Unsupported(const std::string& message) {
  throw Failure(ExitCode::kUnsupported, "unsupported format: " + message);
}

bool IdIs(const ChunkId& id, const char* text) { return std::memcmp(id.data(), text, 4) == 0; }

std::string Printable(const ChunkId& id) {
  std::string text;
  for (char c : id) text += (c >= 0x20 && c < 0x7F) ? c : '?';
  return "'" + text + "'";
}

std::string TagName(unsigned tag) {
  switch (tag) {
    case 0x0002: return "Microsoft ADPCM";
    case 0x0006: return "A-law";
    case 0x0007: return "mu-law";
    case 0x0011: return "IMA ADPCM";
    case 0x0031: return "GSM 6.10";
    case 0x0050: return "MPEG audio";
    case 0x0055: return "MPEG Layer 3";
    case 0x00FF: return "AAC";
    case 0x2000: return "Dolby AC-3";
    default: break;
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", tag);
  return std::string("format tag ") + hex;
}

SampleFormat ParseFmt(const unsigned char* fmt, std::uint64_t size) {
  unsigned tag = GetLe16(fmt);
  const unsigned channels = GetLe16(fmt + 2);
  const std::uint32_t sample_rate = GetLe32(fmt + 4);
  const unsigned block_align = GetLe16(fmt + 12);
  const unsigned bits = GetLe16(fmt + 14);
  unsigned valid_bits = bits;
  std::uint32_t channel_mask = 0;
  const bool extensible = tag == kTagExtensible;
  if (extensible) {
    if (size < 40 || GetLe16(fmt + 16) < 22) {
      Malformed("WAVE_FORMAT_EXTENSIBLE 'fmt ' chunk shorter than 40 bytes");
    }
    valid_bits = GetLe16(fmt + 18);
    channel_mask = GetLe32(fmt + 20);
    tag = GetLe16(fmt + 24);
    if (std::memcmp(fmt + 26, kSubformatTail, 14) != 0) {
      Unsupported("WAVE_FORMAT_EXTENSIBLE with a non-standard sub-format GUID");
    }
  }
  const std::string kind = extensible ? " (extensible)" : "";
  if (channels == 0) Malformed("zero channels");
  if (bits == 0 || bits % 8 != 0) {
    if (tag == kTagPcm || tag == kTagFloat) {
      Unsupported((tag == kTagPcm ? "PCM " : "IEEE float ") + std::to_string(bits) +
                  "-bit" + kind);
    }
  }

  SampleFormat format;
  format.channels = channels;
  format.container_bytes = bits / 8;
  format.sample_rate = sample_rate;
  format.channel_mask = channel_mask;
  if (tag == kTagPcm) {
    switch (bits) {
      case 8: format.encoding = SampleEncoding::kUnsigned8; break;
      case 16: format.encoding = SampleEncoding::kSigned16; break;
      case 24: format.encoding = SampleEncoding::kSigned24; break;
      case 32: format.encoding = SampleEncoding::kSigned32; break;
      default: Unsupported("PCM " + std::to_string(bits) + "-bit" + kind);
    }
  } else if (tag == kTagFloat) {
    switch (bits) {
      case 32: format.encoding = SampleEncoding::kFloat32; break;
      case 64: format.encoding = SampleEncoding::kFloat64; break;
      default: Unsupported("IEEE float " + std::to_string(bits) + "-bit" + kind);
    }
  } else {
    Unsupported(TagName(tag) + kind);
  }

  if (block_align != channels * format.container_bytes) {
    Malformed("block alignment " + std::to_string(block_align) + " does not match " +
              std::to_string(channels) + " channels of " +
              std::to_string(format.container_bytes) + " bytes");
  }
  format.block_align = block_align;
  // Zero valid bits is what some writers put for "all of them".
  if (valid_bits == 0 || format.is_float()) valid_bits = bits;
  if (valid_bits > bits) {
    Malformed(std::to_string(valid_bits) + " valid bits in a " + std::to_string(bits) +
              "-bit container");
  }
  format.valid_bits = valid_bits;
  return format;
}

}  // namespace

std::string WarningText(const LayoutWarning& warning, bool writing) {
  return writing && !warning.in_result.empty() ? warning.found + "; " + warning.in_result : warning.found;
}

std::string Describe(const SampleFormat& format) {
  std::string text;
  if (format.is_float()) {
    text = "IEEE float " + std::to_string(format.container_bytes * 8) + "-bit";
  } else {
    text = "PCM " + std::to_string(format.container_bytes * 8) + "-bit";
    if (format.valid_bits != format.container_bytes * 8) {
      text += " (" + std::to_string(format.valid_bits) + " valid)";
    }
  }
  return text + ", " + std::to_string(format.channels) +
         (format.channels == 1 ? " channel" : " channels");
}

namespace {

// What the file's first bytes (and an RF64 file's ds64 chunk) declare.
struct Top {
  Container container = Container::kRiff;
  std::uint64_t riff_end = 0;    // where the RIFF size says the chunks end
  bool riff_size_set = true;     // false: 0 or all ones, as a writer that never finished leaves it
  std::uint64_t ds64_data_size = 0;
};

bool SizeUnset(std::uint64_t size) { return size == 0 || size == riff::kSizeInDs64; }

const LayoutWarning kDataSizeUnset{
    "the data chunk's size is not filled in (an unfinished header); the data is taken to run to the file's end",
    "the result's data size will be filled in"};

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

// After an odd-sized chunk that ends at `pad`: true when its writer left out
// the pad byte, that is when no chunk header follows the pad byte but one
// follows the chunk itself. A RIFF size that ends just after the pad byte
// says that it is there.
bool PadLeftOut(InputFile& input, std::uint64_t pad, std::uint64_t riff_end) {
  return pad + 1 < input.size() && riff_end != pad + 1 && !LooksLikeChunk(input, pad + 1) &&
         LooksLikeChunk(input, pad);
}

struct FmtBytes {
  unsigned char bytes[kFmtBytesRead] = {};
  std::uint64_t size = 0;
  bool found = false;
};

// Walks the chunks from the first to the file's end: the RIFF size decides
// nothing, since writers that stream or append often leave it wrong, but every
// way in which it is wrong is reported.
void WalkChunks(InputFile& input, const Top& top, WavLayout& layout, FmtBytes& fmt) {
  const std::uint64_t file_size = input.size();
  const bool rf64 = top.container == Container::kRf64;
  if (!top.riff_size_set) {
    layout.warnings.push_back(
        {"the RIFF size is not filled in (an unfinished header); the chunks up to the file's end are read",
         "the result's RIFF size will be filled in"});
  } else if (top.riff_end > file_size) {
    layout.warnings.push_back({"the RIFF size says " + std::to_string(top.riff_end) + " bytes, the file holds " +
                                   std::to_string(file_size),
                               "the result's RIFF size will be right"});
  }
  // Only a RIFF size that is set and short of the file's end has chunks after it.
  const std::uint64_t riff_end = top.riff_size_set ? top.riff_end : kMaxSize;

  bool have_data = false;
  bool data_to_end = false;
  std::uint64_t pos = riff::kTopBytes;
  std::uint64_t kept_end = pos;  // the end of the last chunk kept
  std::optional<ChunkId> odd_before;  // the chunk before, when its size was odd
  while (pos + riff::kChunkHeaderBytes <= file_size && !data_to_end) {
    if (pos >= riff_end && !LooksLikeChunk(input, pos)) break;
    unsigned char header[riff::kChunkHeaderBytes];
    input.ReadExactAt(pos, header, sizeof header);
    Chunk chunk;
    std::memcpy(chunk.id.data(), header, 4);
    chunk.offset = pos;
    std::uint64_t size = GetLe32(header + 4);
    const bool is_data = IdIs(chunk.id, "data");
    if (rf64 && is_data && size == riff::kSizeInDs64) size = top.ds64_data_size;

    const std::uint64_t payload = pos + riff::kChunkHeaderBytes;
    const std::uint64_t remaining = file_size - payload;
    if (is_data && size == 0 && remaining > 0 && !LooksLikeChunk(input, payload)) {
      layout.warnings.push_back(kDataSizeUnset);
      size = remaining;
      data_to_end = true;
    } else if (size > remaining) {
      if (!is_data) {
        // An id read from the middle of other bytes would name a chunk that is not there.
        const std::string claim = " claims " + std::to_string(size) + " bytes, only " + std::to_string(remaining) +
                                  " remain";
        if (odd_before) {
          Malformed("no chunk header follows the odd-sized chunk " + Printable(*odd_before) +
                    ", with its pad byte or without (the header at byte " + std::to_string(pos) + claim + ")");
        }
        if (Printable(chunk.id).find('?') != std::string::npos) {
          Malformed("the bytes at " + std::to_string(pos) + " are no chunk header (as one, it" + claim + ")");
        }
        Malformed("chunk " + Printable(chunk.id) + claim);
      }
      layout.warnings.push_back(
          SizeUnset(size) ? kDataSizeUnset
                          : LayoutWarning{"the data chunk claims " + std::to_string(size) + " bytes, only " +
                                              std::to_string(remaining) + " are there; those are read",
                                          "the result's data size will be " + std::to_string(remaining)});
      size = remaining;
      data_to_end = true;
    }
    if (!rf64 && size > riff::kSizeInDs64 - 1) {
      Unsupported("a RIFF file with a chunk of 4 GiB or more (only RF64 can hold one)");
    }
    chunk.size = size;
    pos = payload + size;
    if (size % 2 != 0 && !data_to_end) {
      const bool left_out = pos < file_size && PadLeftOut(input, pos, riff_end);
      chunk.pad_in_file = pos < file_size && !left_out;
      if (chunk.pad_in_file) {
        ++pos;
      } else {
        layout.warnings.push_back(
            {"chunk " + Printable(chunk.id) + " of odd size " + std::to_string(size) + " lacks its pad byte" +
                 (left_out ? " (the next chunk starts right after it)" : ""),
             "the pad byte will be added in the result"});
      }
    }
    kept_end = pos;

    if (IdIs(chunk.id, "fmt ")) {
      if (fmt.found) Malformed("more than one 'fmt ' chunk");
      if (size < 16) Malformed("'fmt ' chunk of " + std::to_string(size) + " bytes, 16 needed");
      fmt.found = true;
      fmt.size = size;
      const auto read = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof fmt.bytes));
      input.ReadExactAt(payload, fmt.bytes, read);
    } else if (is_data) {
      if (have_data) Malformed("more than one 'data' chunk");
      have_data = true;
      layout.data = layout.chunks.size();
    } else if (rf64 && IdIs(chunk.id, "ds64") && chunk.offset == riff::kTopBytes) {
      // Only the first chunk is the size table; a later "ds64" is kept as it is.
      layout.ds64 = layout.chunks.size();
    }
    layout.chunks.push_back(chunk);
    odd_before = size % 2 != 0 ? std::optional<ChunkId>(chunk.id) : std::nullopt;
  }

  if (top.riff_size_set && kept_end > top.riff_end && top.riff_end < file_size) {
    layout.warnings.push_back({"the RIFF size says " + std::to_string(top.riff_end) +
                                   " bytes, but its chunks run to " + std::to_string(kept_end) +
                                   "; the chunks after that size are read",
                               "they will be kept in the result"});
  }
  if (kept_end < file_size) {
    layout.warnings.push_back({std::to_string(file_size - kept_end) + " bytes after the last chunk are not a chunk",
                               "they will be left out of the result"});
  }
  if (!fmt.found) Malformed("no 'fmt ' chunk");
  if (!have_data) Malformed("no 'data' chunk");
}

}  // namespace

WavLayout ReadWavLayout(InputFile& input) {
  const Top top = ReadTop(input);
  WavLayout layout;
  layout.container = top.container;
  FmtBytes fmt;
  WalkChunks(input, top, layout, fmt);
  layout.format = ParseFmt(fmt.bytes, fmt.size);
  const std::uint64_t data_size = layout.data_chunk().size;
  if (data_size % layout.format.container_bytes != 0) {
    const std::uint64_t partial = data_size % layout.format.container_bytes;
    layout.warnings.push_back({"the data chunk ends in a partial sample of " + std::to_string(partial) +
                                   (partial == 1 ? " byte" : " bytes"),
                               "they will be kept as they are in the result"});
  }
  return layout;
}

}  // namespace normalize
