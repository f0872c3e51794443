// The oracle's WAV files: built byte by byte from a case, and read back.
#include <algorithm>
#include <cstring>

#include "claims_cases.h"

namespace normalize::test::claims {
namespace {

void Put(Bytes& to, std::uint64_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) to.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

std::uint32_t ChannelMask(unsigned channels) {
  switch (channels) {
    case 1: return 0x4;
    case 2: return 0x3;
    case 6: return 0x60F;   // L R C LFE, side pair
    case 8: return 0x63F;   // L R C LFE, back and side pairs
    default: return 0;
  }
}

Bytes FmtPayload(const Format& f) {
  Bytes fmt;
  const unsigned block_align = f.channels * f.bytes();
  Put(fmt, f.extensible ? 0xFFFE : f.is_float() ? 3 : 1, 2);
  Put(fmt, f.channels, 2);
  Put(fmt, f.rate, 4);
  Put(fmt, std::uint64_t{f.rate} * block_align, 4);
  Put(fmt, block_align, 2);
  Put(fmt, f.container_bits, 2);
  if (!f.extensible) return fmt;
  Put(fmt, 22, 2);
  Put(fmt, f.valid_bits, 2);
  Put(fmt, ChannelMask(f.channels), 4);
  Append(fmt, {static_cast<unsigned char>(f.is_float() ? 3 : 1), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38,
               0x9B, 0x71});
  return fmt;
}

Bytes ListPayload(std::size_t size) {
  Bytes list = {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T'};
  Put(list, size, 4);
  for (std::size_t i = 0; i < size; ++i) list.push_back(static_cast<unsigned char>('a' + i % 26));
  return list;
}

}  // namespace

Built Build(const Case& c, const Audio& audio) {
  const Format& f = c.format;
  Bytes data;
  data.reserve(audio.samples.size() * f.bytes());
  const unsigned shift = f.container_bits - f.valid_bits;
  for (const double v : audio.samples) {
    if (f.is_float()) {
      if (f.container_bits == 32) {
        const auto x = static_cast<float>(v);
        std::uint32_t raw;
        std::memcpy(&raw, &x, 4);
        Put(data, raw, 4);
      } else {
        std::uint64_t raw;
        std::memcpy(&raw, &v, 8);
        Put(data, raw, 8);
      }
    } else if (f.encoding == Encoding::kUnsigned) {
      data.push_back(static_cast<unsigned char>(static_cast<int>(v) + 128));
    } else {
      Put(data, static_cast<std::uint64_t>(static_cast<std::int64_t>(v) * (std::int64_t{1} << shift)), f.bytes());
    }
  }
  Bytes body = {'W', 'A', 'V', 'E'};
  const auto chunk = [&](const char* id, const Bytes& payload, std::uint32_t size_field) {
    body.insert(body.end(), id, id + 4);
    Put(body, size_field, 4);
    Append(body, payload);
    if (payload.size() % 2) body.push_back(0);
  };
  if (f.rf64) chunk("ds64", Bytes(28), 28);  // its sizes filled in below
  chunk("fmt ", FmtPayload(f), static_cast<std::uint32_t>(FmtPayload(f).size()));
  Built built;
  if (c.bext) {
    built.bext_loudness = 8 + body.size() + 8 + 412;
    const Bytes bext = BextPayload(2, {-2300, 500, -100, -2000, -2100});
    chunk("bext", bext, static_cast<std::uint32_t>(bext.size()));
  }
  if (c.list_chunk) chunk("LIST", ListPayload(7), 19);
  built.data_offset = 8 + body.size() + 8;
  built.data_size = data.size();
  chunk("data", data, f.rf64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(data.size()));
  if (c.list_chunk) chunk("LIST", ListPayload(12), 24);
  Bytes file = {'R', 'I', 'F', 'F'};
  if (f.rf64) file = {'R', 'F', '6', '4'};
  Put(file, f.rf64 ? 0xFFFFFFFF : body.size(), 4);
  Append(file, body);
  if (f.rf64) {
    Bytes sizes;
    Put(sizes, file.size() - 8, 8);
    Put(sizes, data.size(), 8);
    Put(sizes, audio.samples.size() / f.channels, 8);
    std::copy(sizes.begin(), sizes.end(), file.begin() + 20);  // the ds64 payload
  }
  built.bytes = std::move(file);
  return built;
}

std::vector<double> Decode(const Case& c, const Built& built, const Bytes& file, std::uint64_t* stray_low_bits) {
  const Format& f = c.format;
  const unsigned bytes = f.bytes();
  const unsigned shift = f.container_bits - f.valid_bits;
  std::vector<double> samples(std::min(built.data_size, file.size() - std::min(file.size(), built.data_offset)) / bytes);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const unsigned char* p = file.data() + built.data_offset + i * bytes;
    std::uint64_t raw = 0;
    for (unsigned b = 0; b < bytes; ++b) raw |= std::uint64_t{p[b]} << (8 * b);
    if (f.is_float() && bytes == 4) {
      float x;
      const auto word = static_cast<std::uint32_t>(raw);
      std::memcpy(&x, &word, 4);
      samples[i] = x;
    } else if (f.is_float()) {
      std::memcpy(&samples[i], &raw, 8);
    } else if (f.encoding == Encoding::kUnsigned) {
      samples[i] = static_cast<double>(raw) - 128;
    } else {
      const auto value = static_cast<std::int64_t>(raw << (64 - 8 * bytes)) >> (64 - 8 * bytes);
      if (stray_low_bits && (value & ((std::int64_t{1} << shift) - 1)) != 0) ++*stray_low_bits;
      samples[i] = static_cast<double>(value >> shift);
    }
  }
  return samples;
}

}  // namespace normalize::test::claims
