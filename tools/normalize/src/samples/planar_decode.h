#pragma once
// The loudness measurement's view of the samples: interleaved frames turned
// into one float buffer per channel at full scale 1, through the same codecs
// as the gain pass.
#include <cstddef>
#include <cstdint>

#include "wav/wav_format.h"

namespace normalize {

// Decodes `frames` frames of `data` into out[0..channels), gives each
// channel's largest magnitude in `peaks`, and counts in `non_finite` the NaN
// and infinite float samples, which carry no loudness and become 0.
void DecodePlanar(const SampleFormat& format, const std::byte* data, std::size_t frames, float* const* out,
                  float* peaks, std::uint64_t& non_finite);

}  // namespace normalize
