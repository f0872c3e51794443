#pragma once
// The 16-bit gain loop, for one vector instruction set. Every file that
// includes this compiles its own copy (internal linkage) with its own
// instruction set: sample_kernel.cpp with SSE2, sample_kernel_avx2.cpp with
// AVX2, chosen at run time by what the processor has.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "samples/peak.h"
#include "samples/simd.h"

#ifdef NORMALIZE_SSE2
namespace normalize {

#ifdef NORMALIZE_X86_EXTRAS
// Does what GainS16Runs does, with AVX2; only for processors that have it.
std::size_t GainS16Avx2(const std::byte* in, std::byte* out, std::size_t samples, double factor,
                        PeakTracker& before, std::uint64_t& clipped);
#endif

namespace {

template <typename Reduce>
std::int16_t Horizontal(__m128i v, Reduce reduce) {
  v = reduce(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = reduce(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  v = reduce(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::int16_t>(_mm_cvtsi128_si32(v));
}

// The extremes of `samples` (a multiple of 8) 16-bit samples.
inline void ExtremesS16(const std::byte* in, std::size_t samples, std::int16_t& low, std::int16_t& high) {
  __m128i lows = _mm_set1_epi16(low);
  __m128i highs = _mm_set1_epi16(high);
  for (std::size_t j = 0; j < samples; j += 8) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * j));
    lows = _mm_min_epi16(lows, s);
    highs = _mm_max_epi16(highs, s);
  }
  low = Horizontal(lows, [](__m128i a, __m128i b) { return _mm_min_epi16(a, b); });
  high = Horizontal(highs, [](__m128i a, __m128i b) { return _mm_max_epi16(a, b); });
}

// Eight samples from `in` to `out`; `clamps` counts (negated) the products
// beyond the 16-bit range, where `count` is set. `Lanes::Rounded8` gives the
// eight rounded products, as 32-bit integers, in two halves.
template <typename Lanes, bool guard, bool count>
void GainS16x8(const std::byte* in, std::byte* out, typename Lanes::Gain gain, __m128i& clamps) {
  __m128i r0;
  __m128i r1;
  Lanes::template Rounded8<guard>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), gain, r0, r1);
  if (count) {
    const __m128i lowest = _mm_set1_epi32(-32768);
    const __m128i highest = _mm_set1_epi32(32767);
    clamps = _mm_add_epi32(clamps, _mm_or_si128(_mm_cmpgt_epi32(r0, highest), _mm_cmplt_epi32(r0, lowest)));
    clamps = _mm_add_epi32(clamps, _mm_or_si128(_mm_cmpgt_epi32(r1, highest), _mm_cmplt_epi32(r1, lowest)));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(r0, r1));
}

// Works in runs small enough to stay in the first-level cache: the run's
// extremes first, and when their products, rounded just as the samples' are,
// lie in range, so do all of the run's (the product and the rounding are
// monotonic), and the run takes the loop that neither guards nor counts.
// Returns how many samples it did.
template <typename Lanes>
std::size_t GainS16Runs(const std::byte* in, std::byte* out, std::size_t samples, double factor,
                        PeakTracker& before, std::uint64_t& clipped) {
  constexpr std::size_t kRun = 2048;
  const typename Lanes::Gain gain = Lanes::Broadcast(factor);
  const bool needs_guard = !(std::fabs(factor) < 65536.0);
  std::int16_t low = static_cast<std::int16_t>(before.min);
  std::int16_t high = static_cast<std::int16_t>(before.max);
  __m128i clamps = _mm_setzero_si128();
  const std::size_t whole = samples - samples % 8;
  for (std::size_t i = 0; i < whole;) {
    const std::size_t end = std::min(whole, i + kRun);
    std::int16_t lo = 32767;
    std::int16_t hi = -32768;
    ExtremesS16(in + 2 * i, end - i, lo, hi);
    low = std::min(low, lo);
    high = std::max(high, hi);
    __m128i ends;
    __m128i unused;
    Lanes::template Rounded8<true>(_mm_set_epi16(0, 0, 0, 0, 0, 0, hi, lo), gain, ends, unused);
    alignas(16) std::int32_t end_values[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(end_values), ends);
    const bool in_range = end_values[0] >= -32768 && end_values[0] <= 32767 && end_values[1] >= -32768 &&
                          end_values[1] <= 32767;
    if (in_range && !needs_guard) {
      for (; i < end; i += 8) GainS16x8<Lanes, false, false>(in + 2 * i, out + 2 * i, gain, clamps);
    } else if (needs_guard) {
      for (; i < end; i += 8) GainS16x8<Lanes, true, true>(in + 2 * i, out + 2 * i, gain, clamps);
    } else {
      for (; i < end; i += 8) GainS16x8<Lanes, false, true>(in + 2 * i, out + 2 * i, gain, clamps);
    }
  }
  alignas(16) std::int32_t counts[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(counts), clamps);
  before.min = low;
  before.max = high;
  for (std::int32_t count : counts) clipped += static_cast<std::uint32_t>(-count);
  return whole;
}

}  // namespace
}  // namespace normalize
#endif
