#pragma once
// Sizes and markers of the RIFF/WAVE and RF64 containers, shared by the reader
// of a file's layout and the writer of the result.
#include <cstddef>
#include <cstdint>

namespace normalize::riff {

constexpr std::size_t kTopBytes = 12;          // "RIFF" or "RF64", size, "WAVE"
constexpr std::size_t kChunkHeaderBytes = 8;   // id, 32-bit size
constexpr std::size_t kDs64Fields = 24;        // RIFF size, data size, sample count
// In an RF64 file a 32-bit size of this value stands for the one in ds64; a
// RIFF file's writer that never came back to its header may leave it too.
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;

}  // namespace normalize::riff
