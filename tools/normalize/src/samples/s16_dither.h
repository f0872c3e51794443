#pragma once
// The dithered gain for 16-bit samples with SSE2 (and, declared here, AVX2),
// and what the vector loops share with the scalar loop in sample_kernel.cpp.
//
// A product is computed in single precision in 256ths of a step and rounded
// to an integer; the noise (in 256ths) and half a step are added and the sum
// shifted down: all but the product is integer arithmetic, and the float's
// error (a few thousandths of a step) is nothing beside the noise. The samples
// whose result must be exact (the input's extremes) are pinned: their noise
// carries them past their bound, which then holds them at their exact rounded
// product.
#include <cstddef>
#include <cstdint>

#include "samples/dither.h"
#include "samples/peak.h"
#include "samples/simd.h"

namespace normalize {

// In quanta, but for the kept values (container values, as samples are read).
struct DitherBounds {
  float scaled_factor;  // the gain per quantum, times 256
  bool guard;           // products may pass 2^30 256ths: they are held first
  std::int32_t lowest;  // the format's range
  std::int32_t highest;
  std::int32_t low;     // results are held within [low, high], inside the range
  std::int32_t high;
  bool count;           // whether a result beyond the range counts as clipped
  bool extremes;        // keep_low and keep_high are the input's extremes
  std::int32_t keep_low;
  std::int32_t keep_high;
  std::int16_t pin_low;  // the noise of the samples that hold them
  std::int16_t pin_high;
};

constexpr float kGuard = 1073741824.0f;  // 2^30
constexpr std::int16_t kPin = 32767;     // 128 steps: past any bound

// The noise the sample `v` gets from `d`: none for a zero (digital silence
// stays silent), a pin for an extreme.
inline std::int32_t NoiseFor(std::int32_t v, std::int32_t d, const DitherBounds& b) {
  if (v == 0) return 0;
  if (b.extremes && v == b.keep_high) return b.pin_high;
  if (b.extremes && v == b.keep_low) return b.pin_low;
  return d;
}

#ifdef NORMALIZE_X86_EXTRAS
// The AVX2 loop: sixteen samples at a time from a noise step on, as the SSE2
// one; returns how many it did. Only for processors that have AVX2.
std::size_t GainS16DitheredAvx2(const std::byte* in, std::byte* out, std::size_t samples, const DitherBounds& b,
                                TpdfNoise& noise, PeakTracker& before, std::uint64_t& clipped);
#endif

#ifdef NORMALIZE_SSE2
namespace {

// TpdfNoise's step on two registers of four lanes each.
struct NoiseLanes {
  __m128i x[2], y[2], z[2], w[2];

  explicit NoiseLanes(const TpdfNoise& noise) {
    for (int h = 0; h < 2; ++h) {
      x[h] = Load(noise.x + 4 * h);
      y[h] = Load(noise.y + 4 * h);
      z[h] = Load(noise.z + 4 * h);
      w[h] = Load(noise.w + 4 * h);
    }
  }
  void StoreTo(TpdfNoise& noise) const {
    for (int h = 0; h < 2; ++h) {
      Store(noise.x + 4 * h, x[h]);
      Store(noise.y + 4 * h, y[h]);
      Store(noise.z + 4 * h, z[h]);
      Store(noise.w + 4 * h, w[h]);
    }
  }
  // Eight triangles (16-bit, in 256ths) from lanes 4h..4h+3.
  __m128i Triangles(int h) {
    const __m128i t = _mm_xor_si128(x[h], _mm_slli_epi32(x[h], 11));
    x[h] = y[h];
    y[h] = z[h];
    z[h] = w[h];
    w[h] = _mm_xor_si128(_mm_xor_si128(w[h], _mm_srli_epi32(w[h], 19)), _mm_xor_si128(t, _mm_srli_epi32(t, 8)));
    return _mm_sub_epi16(_mm_srli_epi16(w[h], 8), _mm_and_si128(w[h], _mm_set1_epi16(0xFF)));
  }

 private:
  static __m128i Load(const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(std::uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
};

// Four results: the rounded products in 256ths, the noise and half a step
// added, shifted down to steps.
inline __m128i DitheredSteps(__m128i v, __m128i n, __m128 gain, bool guard) {
  __m128 p = _mm_mul_ps(_mm_cvtepi32_ps(v), gain);
  if (guard) p = _mm_min_ps(_mm_max_ps(p, _mm_set1_ps(-kGuard)), _mm_set1_ps(kGuard));
  const __m128i sum = _mm_add_epi32(_mm_cvtps_epi32(p), _mm_add_epi32(n, _mm_set1_epi32(128)));
  return _mm_srai_epi32(sum, 8);
}

inline __m128i Beyond(__m128i r, __m128i lowest, __m128i highest) {
  return _mm_or_si128(_mm_cmpgt_epi32(r, highest), _mm_cmplt_epi32(r, lowest));
}

// Eight samples: NoiseFor in 16-bit lanes, then the results, packed and held.
template <bool extremes>
inline void DitherEight(const std::byte* in, std::byte* out, __m128i d, const DitherBounds& b, __m128 gain,
                        __m128i& lows, __m128i& highs, __m128i& clamps) {
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  lows = _mm_min_epi16(lows, s);
  highs = _mm_max_epi16(highs, s);
  const __m128i zero = _mm_cmpeq_epi16(s, _mm_setzero_si128());
  __m128i n = _mm_andnot_si128(zero, d);
  if (extremes) {
    const __m128i high = _mm_andnot_si128(zero, _mm_cmpeq_epi16(s, _mm_set1_epi16(static_cast<std::int16_t>(b.keep_high))));
    const __m128i low = _mm_andnot_si128(_mm_or_si128(zero, high),
                                         _mm_cmpeq_epi16(s, _mm_set1_epi16(static_cast<std::int16_t>(b.keep_low))));
    n = _mm_or_si128(_mm_andnot_si128(_mm_or_si128(low, high), n),
                     _mm_or_si128(_mm_and_si128(low, _mm_set1_epi16(b.pin_low)),
                                  _mm_and_si128(high, _mm_set1_epi16(b.pin_high))));
  }
  const __m128i r0 = DitheredSteps(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16),
                                   _mm_srai_epi32(_mm_unpacklo_epi16(n, n), 16), gain, b.guard);
  const __m128i r1 = DitheredSteps(_mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16),
                                   _mm_srai_epi32(_mm_unpackhi_epi16(n, n), 16), gain, b.guard);
  if (b.count) {
    const __m128i lowest = _mm_set1_epi32(b.lowest);
    const __m128i highest = _mm_set1_epi32(b.highest);
    clamps = _mm_add_epi32(clamps, _mm_add_epi32(Beyond(r0, lowest, highest), Beyond(r1, lowest, highest)));
  }
  const __m128i held = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(r0, r1), _mm_set1_epi16(static_cast<std::int16_t>(b.low))),
                                     _mm_set1_epi16(static_cast<std::int16_t>(b.high)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), held);
}

inline void AddExtremes(__m128i lows, __m128i highs, PeakTracker& before) {
  alignas(16) std::int16_t low_lanes[8];
  alignas(16) std::int16_t high_lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(low_lanes), lows);
  _mm_store_si128(reinterpret_cast<__m128i*>(high_lanes), highs);
  for (int j = 0; j < 8; ++j) {
    before.min = low_lanes[j] < before.min ? low_lanes[j] : before.min;
    before.max = high_lanes[j] > before.max ? high_lanes[j] : before.max;
  }
}

inline std::uint64_t CountOf(__m128i clamps) {
  alignas(16) std::int32_t counts[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(counts), clamps);
  std::uint64_t total = 0;
  for (std::int32_t c : counts) total += static_cast<std::uint32_t>(-c);
  return total;
}

// Sixteen samples at a time, from a noise step on; returns how many it did.
template <bool extremes>
std::size_t GainS16DitheredSse2(const std::byte* in, std::byte* out, std::size_t samples, const DitherBounds& b,
                                TpdfNoise& noise, PeakTracker& before, std::uint64_t& clipped) {
  const __m128 gain = _mm_set1_ps(b.scaled_factor);
  NoiseLanes lanes(noise);
  __m128i lows = _mm_set1_epi16(static_cast<std::int16_t>(before.min));
  __m128i highs = _mm_set1_epi16(static_cast<std::int16_t>(before.max));
  __m128i clamps = _mm_setzero_si128();
  const std::size_t whole = samples - samples % TpdfNoise::kPerStep;
  for (std::size_t i = 0; i < whole; i += TpdfNoise::kPerStep) {
    DitherEight<extremes>(in + 2 * i, out + 2 * i, lanes.Triangles(0), b, gain, lows, highs, clamps);
    DitherEight<extremes>(in + 2 * i + 16, out + 2 * i + 16, lanes.Triangles(1), b, gain, lows, highs, clamps);
  }
  lanes.StoreTo(noise);
  AddExtremes(lows, highs, before);
  clipped += CountOf(clamps);
  return whole;
}

}  // namespace
#endif

}  // namespace normalize
