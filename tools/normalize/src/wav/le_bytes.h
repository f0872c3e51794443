#pragma once
// Little-endian fields of RIFF headers, independent of the host's byte order.
#include <cstddef>
#include <cstdint>

namespace normalize {

inline std::uint32_t GetLe16(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

inline std::uint32_t GetLe32(const unsigned char* p) {
  return GetLe16(p) | GetLe16(p + 2) << 16;
}

inline std::uint64_t GetLe64(const unsigned char* p) {
  return static_cast<std::uint64_t>(GetLe32(p)) | static_cast<std::uint64_t>(GetLe32(p + 4)) << 32;
}

inline void PutLe32(unsigned char* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void PutLe64(unsigned char* p, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace normalize
