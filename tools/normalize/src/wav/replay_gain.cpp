#include "wav/replay_gain.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "wav/input_file.h"
#include "wav/riff.h"

namespace normalize {
namespace {

constexpr char kKey[] = "replaygain_";
constexpr std::size_t kKeyLength = sizeof kKey - 1;

bool MayHoldTags(const ChunkId& id) {
  return std::memcmp(id.data(), "LIST", 4) == 0 || std::memcmp(id.data(), "ID3 ", 4) == 0 ||
         std::memcmp(id.data(), "id3 ", 4) == 0;
}

// Read in pieces of a fixed size: a chunk's size decides no buffer. Zero
// bytes are dropped, so that UTF-16 text reads as ASCII does.
bool NamesReplayGain(InputFile& input, const Chunk& chunk) {
  unsigned char piece[16384];
  std::string text;
  for (std::uint64_t done = 0; done < chunk.size;) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof piece, chunk.size - done));
    input.ReadExactAt(chunk.offset + riff::kChunkHeaderBytes + done, piece, size);
    done += size;
    for (std::size_t i = 0; i < size; ++i) {
      if (piece[i] != 0) text += static_cast<char>(std::tolower(piece[i]));
    }
    if (text.find(kKey) != std::string::npos) return true;
    // What could be the start of the key stays for the next piece.
    if (text.size() > kKeyLength) text.erase(0, text.size() - kKeyLength);
  }
  return false;
}

}  // namespace

std::optional<ChunkId> ReplayGainChunk(InputFile& input, const WavLayout& layout) {
  for (const Chunk& chunk : layout.chunks) {
    if (MayHoldTags(chunk.id) && NamesReplayGain(input, chunk)) return chunk.id;
  }
  return std::nullopt;
}

}  // namespace normalize
