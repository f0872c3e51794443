#include "wav_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "failure.h"
#include "input_file.h"
#include "le_bytes.h"

namespace normalize {
namespace {

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;
constexpr std::size_t kFmtBytesRead = 40;  // the longest fmt we interpret (EXTENSIBLE)
constexpr std::size_t kDs64Fields = 24;    // riff size, data size, sample count
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
  const unsigned block_align = GetLe16(fmt + 12);
  const unsigned bits = GetLe16(fmt + 14);
  unsigned valid_bits = bits;
  const bool extensible = tag == kTagExtensible;
  if (extensible) {
    if (size < 40 || GetLe16(fmt + 16) < 22) {
      Malformed("WAVE_FORMAT_EXTENSIBLE 'fmt ' chunk shorter than 40 bytes");
    }
    valid_bits = GetLe16(fmt + 18);
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

WavLayout ReadWavLayout(InputFile& input) {
  const std::uint64_t file_size = input.size();
  unsigned char head[12] = {};
  const std::size_t got = input.ReadAt(0, head, sizeof head);
  const bool riff = std::memcmp(head, "RIFF", 4) == 0;
  const bool rf64 = std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0;
  if (got < 4 || (!riff && !rf64)) {
    throw Failure(ExitCode::kNotWav, "not a WAV file (no RIFF or RF64 header)");
  }
  if (got < sizeof head) Malformed("truncated RIFF header");
  if (std::memcmp(head + 8, "WAVE", 4) != 0) {
    throw Failure(ExitCode::kNotWav, "not a WAV file (a RIFF file, but not of form WAVE)");
  }

  WavLayout layout;
  layout.container = rf64 ? Container::kRf64 : Container::kRiff;
  std::uint64_t riff_end = 8 + static_cast<std::uint64_t>(GetLe32(head + 4));
  std::uint64_t ds64_data_size = 0;
  if (rf64) {
    unsigned char ds64[8 + kDs64Fields] = {};
    if (input.ReadAt(12, ds64, sizeof ds64) != sizeof ds64 || std::memcmp(ds64, "ds64", 4) != 0 ||
        GetLe32(ds64 + 4) < kDs64Fields) {
      Malformed("RF64 file without a complete 'ds64' chunk");
    }
    // A size too large to add the header to still lies beyond the file's end;
    // wrapping around would cut the chunk list short.
    const std::uint64_t riff_size = GetLe64(ds64 + 8);
    riff_end = riff_size > kMaxSize - 8 ? kMaxSize : 8 + riff_size;
    ds64_data_size = GetLe64(ds64 + 16);
  }

  // Chunks end at the RIFF size; when that is wrong, the file's true end decides.
  std::uint64_t limit = riff_end;
  if (riff_end > file_size) {
    layout.warnings.push_back("the RIFF size says " + std::to_string(riff_end) +
                              " bytes, the file holds " + std::to_string(file_size));
    limit = file_size;
  }

  bool have_fmt = false;
  bool have_data = false;
  bool data_truncated = false;
  unsigned char fmt[kFmtBytesRead] = {};
  std::uint64_t fmt_size = 0;
  std::uint64_t pos = 12;
  while (pos + 8 <= limit && !data_truncated) {
    unsigned char header[8];
    input.ReadExactAt(pos, header, sizeof header);
    Chunk chunk;
    std::memcpy(chunk.id.data(), header, 4);
    chunk.offset = pos;
    std::uint64_t size = GetLe32(header + 4);
    const bool is_data = IdIs(chunk.id, "data");
    if (rf64 && is_data && size == kSizeInDs64) size = ds64_data_size;

    const std::uint64_t payload = pos + 8;
    if (size > limit - payload) {
      if (size <= file_size - payload) {
        layout.warnings.push_back("chunk " + Printable(chunk.id) +
                                  " runs past the RIFF size; the file's end is taken");
        limit = file_size;
      } else if (is_data) {
        layout.warnings.push_back("the data chunk claims " + std::to_string(size) +
                                  " bytes, only " + std::to_string(file_size - payload) +
                                  " are there; processing those");
        limit = file_size;
        size = limit - payload;
        data_truncated = true;
      } else {
        Malformed("chunk " + Printable(chunk.id) + " claims " + std::to_string(size) +
                  " bytes, only " + std::to_string(file_size - payload) + " remain");
      }
    }
    chunk.size = size;
    pos = payload + size;
    if (size % 2 != 0) {
      chunk.pad_in_file = pos < limit;
      if (chunk.pad_in_file) {
        ++pos;
      } else if (!data_truncated) {
        layout.warnings.push_back("chunk " + Printable(chunk.id) +
                                  " lacks its pad byte; it is added");
      }
    }

    if (IdIs(chunk.id, "fmt ")) {
      if (have_fmt) Malformed("more than one 'fmt ' chunk");
      if (size < 16) Malformed("'fmt ' chunk of " + std::to_string(size) + " bytes, 16 needed");
      have_fmt = true;
      fmt_size = size;
      input.ReadExactAt(payload, fmt, static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof fmt)));
    } else if (is_data) {
      if (have_data) Malformed("more than one 'data' chunk");
      have_data = true;
      layout.data = layout.chunks.size();
    } else if (rf64 && IdIs(chunk.id, "ds64") && chunk.offset == 12) {
      // Only the first chunk is the size table; a later "ds64" is kept as it is.
      layout.ds64 = layout.chunks.size();
    }
    layout.chunks.push_back(chunk);
  }
  if (!data_truncated && pos < limit) {
    layout.warnings.push_back(std::to_string(limit - pos) +
                              " stray bytes after the last chunk are dropped");
  }

  if (!have_fmt) Malformed("no 'fmt ' chunk");
  if (!have_data) Malformed("no 'data' chunk");
  layout.format = ParseFmt(fmt, fmt_size);
  const std::uint64_t data_size = layout.data_chunk().size;
  if (data_size % layout.format.container_bytes != 0) {
    layout.warnings.push_back("the data chunk ends in a partial sample; its " +
                              std::to_string(data_size % layout.format.container_bytes) +
                              " bytes are kept as they are");
  }
  return layout;
}

}  // namespace normalize
