#pragma once
// The layout of a RIFF/WAVE or RF64 file: its sample format and the list of its
// chunks, found by reading chunk headers only. Everything is checked against
// what the file really holds before any buffer exists.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wav/bext_chunk.h"

namespace normalize {

class InputFile;

enum class SampleEncoding { kUnsigned8, kSigned16, kSigned24, kSigned32, kFloat32, kFloat64 };

struct SampleFormat {
  SampleEncoding encoding = SampleEncoding::kSigned16;
  unsigned channels = 0;
  unsigned container_bytes = 0;  // bytes per sample
  unsigned valid_bits = 0;       // integer samples: the significant high bits
  unsigned block_align = 0;
  unsigned sample_rate = 0;  // frames per second
  std::uint32_t channel_mask = 0;  // WAVE_FORMAT_EXTENSIBLE's speaker positions; 0: none given
  bool is_float() const {
    return encoding == SampleEncoding::kFloat32 || encoding == SampleEncoding::kFloat64;
  }
};

// Human-readable, e.g. "PCM 16-bit, 2 channels" or "IEEE float 32-bit, 1 channel".
std::string Describe(const SampleFormat& format);

using ChunkId = std::array<char, 4>;

struct Chunk {
  ChunkId id{};
  std::uint64_t offset = 0;  // of the 8-byte chunk header
  std::uint64_t size = 0;    // payload bytes taken from the file
  bool pad_in_file = false;  // odd size and the pad byte is really there
};

enum class Container { kRiff, kRf64 };

// Something about a file that is read in a way of its own: what was found and
// how it is read, then what a written result does about it (empty: nothing
// that needs saying).
struct LayoutWarning {
  std::string found;
  std::string in_result;
};

// The warning as a run says it: `writing` runs also say what the result gets.
std::string WarningText(const LayoutWarning& warning, bool writing);

// Bytes after the last chunk that are no chunk: kept as they are, outside the
// RIFF size.
struct TrailingBytes {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct WavLayout {
  Container container = Container::kRiff;
  SampleFormat format;
  std::vector<Chunk> chunks;  // in file order
  std::size_t data = 0;       // index of the data chunk in `chunks`
  std::size_t ds64 = 0;       // index of the ds64 chunk (RF64 only)
  TrailingBytes trailing;
  std::optional<std::size_t> bext;            // index of the first 'bext' chunk
  std::optional<BextLoudness> bext_loudness;  // its loudness fields, version 2 and later
  std::vector<LayoutWarning> warnings;

  const Chunk& data_chunk() const { return chunks[data]; }
};

// Throws Failure (not a WAV / malformed, or unsupported format, which a
// big-endian RIFX file is).
WavLayout ReadWavLayout(InputFile& input);

}  // namespace normalize
