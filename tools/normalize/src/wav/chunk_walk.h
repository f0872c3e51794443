#pragma once
// Reading a WAV file's chunk headers: the RIFF or RF64 top, then every chunk
// from the first to the file's end, with a warning for every size a writer
// left wrong.
#include <cstdint>

#include "wav/fmt_chunk.h"
#include "wav/wav_format.h"

namespace normalize {

// What the file's first bytes (and an RF64 file's ds64 chunk) declare.
struct Top {
  Container container = Container::kRiff;
  std::uint64_t riff_end = 0;    // where the RIFF size says the chunks end
  bool riff_size_set = true;     // false: 0 or all ones, as a writer that never finished leaves it
  std::uint64_t ds64_data_size = 0;
};

struct FmtBytes {
  unsigned char bytes[kFmtBytesRead] = {};
  std::uint64_t size = 0;
  bool found = false;
};

// Throws Failure (not a WAV, malformed, or unsupported, which RIFX is).
Top ReadTop(InputFile& input);

// Fills `layout`'s chunks, data and ds64 indices and warnings, and `fmt`.
// Throws Failure where no layout can be made out.
void WalkChunks(InputFile& input, const Top& top, WavLayout& layout, FmtBytes& fmt);

}  // namespace normalize
