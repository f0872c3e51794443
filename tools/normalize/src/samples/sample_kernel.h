#pragma once
// The per-sample arithmetic: peak scanning and gain, for every supported
// encoding, over buffers of whole samples in place.
#include <cstddef>
#include <cstdint>

#include "samples/dither.h"
#include "samples/peak.h"
#include "samples/simd.h"
#include "wav/wav_format.h"

namespace normalize {

Peak ToPeak(const PeakTracker& tracker, const SampleFormat& format);

// The largest positive value the format can hold, as a fraction of full scale
// (just below 1 for integers, unlimited for floats).
double PositiveCeiling(const SampleFormat& format);

void ScanPeak(const SampleFormat& format, const std::byte* data, std::size_t samples,
              PeakTracker& peak);

// Writes every sample of `in` multiplied by `gain` to `out` (which may be `in`
// itself, but must not otherwise overlap it). Integers are rounded to nearest
// and clamped to their valid range (each clamp counted in `clipped`); floats
// are scaled, except that NaN and infinities are kept as they are and a finite
// product beyond the type's range is clamped to its largest value (and
// counted). `before` tracks the input's extremes on the way. Every `simd`
// level gives the same result.
void ApplyGain(const SampleFormat& format, const std::byte* in, std::byte* out, std::size_t samples,
               double gain, PeakTracker& before, std::uint64_t& clipped, SimdLevel simd = SimdLevel::kBest);

// ApplyGain with `dither` added before the rounding, where DitherApplies
// and the gain moves a sample (the input's extremes, where known, by half a
// step or more); elsewhere plain ApplyGain. The noise continues from one call to the next,
// and every `simd` level gives the same result. A dithered sample clamped to
// the format's range counts as clipped.
void ApplyGainDithered(const SampleFormat& format, const std::byte* in, std::byte* out, std::size_t samples,
                       double gain, Dither& dither, PeakTracker& before, std::uint64_t& clipped,
                       SimdLevel simd = SimdLevel::kBest);

}  // namespace normalize
