#pragma once
// How much each channel counts in the loudness sum: 1 for front channels,
// 1.41 (+1.5 dB) for surrounds at the sides, 0 for the LFE.
#include <cstdint>
#include <optional>
#include <vector>

#include "wav/wav_format.h"

namespace normalize {

// `mask` is WAVE_FORMAT_EXTENSIBLE's dwChannelMask where the file has one
// (and it is not zero); without it the channels are taken in the usual order
// L, R, C, LFE, Ls, Rs, any further ones weighted 1.
std::vector<double> ChannelWeights(unsigned channels, std::optional<std::uint32_t> mask);

// The weights of a file whose loudness is to be measured, from its format.
// Throws Failure (unsupported) for a sample rate too low to K-weight.
std::vector<double> WeightsToMeasure(const SampleFormat& format);

}  // namespace normalize
