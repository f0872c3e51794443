#include "wav/fmt_chunk.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "wav/header_errors.h"
#include "wav/le_bytes.h"

namespace normalize {
namespace {

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagExtensible = 0xFFFE;

// The tail that every KSDATAFORMAT_SUBTYPE_* GUID shares after its 16-bit tag.
constexpr unsigned char kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

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

// What the 16-byte start of the chunk says, and what an EXTENSIBLE one adds.
struct FmtFields {
  unsigned tag = 0;
  unsigned channels = 0;
  std::uint32_t sample_rate = 0;
  unsigned block_align = 0;
  unsigned bits = 0;
  unsigned valid_bits = 0;
  std::uint32_t channel_mask = 0;
  bool extensible = false;
};

FmtFields ReadFields(const unsigned char* fmt, std::uint64_t size) {
  FmtFields f;
  f.tag = GetLe16(fmt);
  f.channels = GetLe16(fmt + 2);
  f.sample_rate = GetLe32(fmt + 4);
  f.block_align = GetLe16(fmt + 12);
  f.bits = GetLe16(fmt + 14);
  f.valid_bits = f.bits;
  f.extensible = f.tag == kTagExtensible;
  if (f.extensible) {
    if (size < 40 || GetLe16(fmt + 16) < 22) {
      Malformed("WAVE_FORMAT_EXTENSIBLE 'fmt ' chunk shorter than 40 bytes");
    }
    f.valid_bits = GetLe16(fmt + 18);
    f.channel_mask = GetLe32(fmt + 20);
    f.tag = GetLe16(fmt + 24);
    if (std::memcmp(fmt + 26, kSubformatTail, 14) != 0) {
      Unsupported("WAVE_FORMAT_EXTENSIBLE with a non-standard sub-format GUID");
    }
  }
  return f;
}

SampleEncoding EncodingOf(const FmtFields& f) {
  const std::string kind = f.extensible ? " (extensible)" : "";
  if (f.tag == kTagPcm) {
    switch (f.bits) {
      case 8: return SampleEncoding::kUnsigned8;
      case 16: return SampleEncoding::kSigned16;
      case 24: return SampleEncoding::kSigned24;
      case 32: return SampleEncoding::kSigned32;
      default: Unsupported("PCM " + std::to_string(f.bits) + "-bit" + kind);
    }
  }
  if (f.tag == kTagFloat) {
    switch (f.bits) {
      case 32: return SampleEncoding::kFloat32;
      case 64: return SampleEncoding::kFloat64;
      default: Unsupported("IEEE float " + std::to_string(f.bits) + "-bit" + kind);
    }
  }
  Unsupported(TagName(f.tag) + kind);
}

}  // namespace

SampleFormat ParseFmt(const unsigned char* fmt, std::uint64_t size) {
  const FmtFields f = ReadFields(fmt, size);
  if (f.channels == 0) Malformed("zero channels");
  SampleFormat format;
  format.channels = f.channels;
  format.container_bytes = f.bits / 8;
  format.sample_rate = f.sample_rate;
  format.channel_mask = f.channel_mask;
  format.encoding = EncodingOf(f);
  if (f.block_align != f.channels * format.container_bytes) {
    Malformed("block alignment " + std::to_string(f.block_align) + " does not match " +
              std::to_string(f.channels) + " channels of " + std::to_string(format.container_bytes) + " bytes");
  }
  format.block_align = f.block_align;
  // Zero valid bits is what some writers put for "all of them".
  const unsigned valid_bits = f.valid_bits == 0 || format.is_float() ? f.bits : f.valid_bits;
  if (valid_bits > f.bits) {
    Malformed(std::to_string(valid_bits) + " valid bits in a " + std::to_string(f.bits) + "-bit container");
  }
  format.valid_bits = valid_bits;
  return format;
}

}  // namespace normalize
