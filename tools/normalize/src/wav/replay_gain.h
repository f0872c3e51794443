#pragma once
// ReplayGain values a tagger left in a WAV file, in an 'ID3 ' chunk (TXXX
// frames) or a 'LIST' chunk: players apply them, so after a gain they are
// off by that gain.
#include <optional>

#include "wav/wav_format.h"

namespace normalize {

// The id of the first chunk that names a ReplayGain value (in ASCII or
// UTF-16 text, any letter case); nothing when none does.
std::optional<ChunkId> ReplayGainChunk(InputFile& input, const WavLayout& layout);

}  // namespace normalize
