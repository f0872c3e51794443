#pragma once
// The 'fmt ' chunk: PCM, IEEE float or WAVE_FORMAT_EXTENSIBLE of either.
#include <cstddef>
#include <cstdint>

#include "wav/wav_format.h"

namespace normalize {

// The longest 'fmt ' chunk interpreted (EXTENSIBLE); bytes after it are kept, not read.
constexpr std::size_t kFmtBytesRead = 40;

// `fmt` holds the first min(size, kFmtBytesRead) bytes of a chunk of `size`
// (16 or more). Throws Failure (malformed, or unsupported).
SampleFormat ParseFmt(const unsigned char* fmt, std::uint64_t size);

}  // namespace normalize
