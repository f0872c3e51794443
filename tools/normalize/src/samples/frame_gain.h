#pragma once
// The gain pass with a gain of its own for every frame, as the limiter gives
// it where its gain moves: each frame gets the very bytes ApplyGainDithered
// (or ApplyGain) gives it at its gain alone, without that call's set-up for
// every frame (16-bit samples; others frame by frame through those calls).
#include <cstddef>
#include <cstdint>

#include "samples/dither.h"
#include "samples/peak.h"
#include "wav/wav_format.h"

namespace normalize {

// Frame f of `in` times gains[f], to `out`; `dither` as ApplyGainDithered
// takes it (none: ApplyGain's rounding).
void ApplyFrameGains(const SampleFormat& format, const std::byte* in, std::byte* out, std::size_t frames,
                     const double* gains, Dither* dither, PeakTracker& before, std::uint64_t& clipped);

}  // namespace normalize
