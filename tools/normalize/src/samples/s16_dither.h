#pragma once
// The dithered gain loop for 16-bit samples with SSE2, and what it shares with
// the scalar loop in sample_kernel.cpp (which includes this, alone).
#include <cstddef>
#include <cstdint>

#include "samples/dither.h"
#include "samples/peak.h"
#include "samples/simd.h"

namespace normalize {
namespace {

// Dithered products are computed in single precision, four to a register:
// its error (a few thousandths of a step) is nothing beside the noise, and the
// samples whose result must be exact (zeros, the extremes) are pinned.
// The noise's unit, a 65536th of a step: a power of two, so that scaling it is
// exact and the vector and scalar sums agree.
constexpr float kNoiseUnit = 1.0f / 65536;
// Noise that carries an extreme sample past its bound, which then holds it at
// the bound: its exact rounded product.
constexpr float kPin = 65536.0f;
// Adding and removing 1.5 * 2^23 rounds a float to the nearest integer (ties
// to even) for magnitudes below 2^22, which the bounds guarantee.
constexpr float kRoundingMagicF = 12582912.0f;

// In quanta: the dithered product is held within [low, high] before it is
// rounded. Zeros get no noise; where the input's extremes are known
// (`extremes`), samples equal to keep_low or keep_high get pin_low or pin_high
// instead, which hold them at their bound.
struct DitherBounds {
  float factor;
  float low;
  float high;
  bool extremes;
  std::int32_t keep_low;
  std::int32_t keep_high;
  float pin_low;
  float pin_high;
};

// The noise, in steps, that the sample `v` gets from `d` (in 65536ths).
inline float NoiseFor(std::int32_t v, std::int32_t d, const DitherBounds& b) {
  if (v == 0) return 0.0f;
  if (b.extremes && v == b.keep_high) return b.pin_high;
  if (b.extremes && v == b.keep_low) return b.pin_low;
  return static_cast<float>(d) * kNoiseUnit;
}

#ifdef NORMALIZE_SSE2
struct NoiseLanes {
  __m128i x, y, z, w;

  explicit NoiseLanes(const TpdfNoise& noise)
      : x(Load(noise.x)), y(Load(noise.y)), z(Load(noise.z)), w(Load(noise.w)) {}
  void StoreTo(TpdfNoise& noise) const {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(noise.x), x);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(noise.y), y);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(noise.z), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(noise.w), w);
  }
  // TpdfNoise's step and triangle, four lanes at once.
  __m128i NextTriangles() {
    const __m128i t = _mm_xor_si128(x, _mm_slli_epi32(x, 11));
    x = y;
    y = z;
    z = w;
    w = _mm_xor_si128(_mm_xor_si128(w, _mm_srli_epi32(w, 19)), _mm_xor_si128(t, _mm_srli_epi32(t, 8)));
    return _mm_sub_epi32(_mm_srli_epi32(w, 16), _mm_and_si128(w, _mm_set1_epi32(0xFFFF)));
  }

 private:
  static __m128i Load(const std::uint32_t* lanes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes)); }
};

// Four products with their noise, held and rounded to 32-bit integers.
inline __m128i DitheredProducts(__m128i v, __m128 noise, __m128 gain, __m128 low, __m128 high) {
  const __m128 x = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(v), gain), noise);
  return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(x, low), high));
}

// NoiseFor, four lanes at once; `zero`, `at_low` and `at_high` are all ones
// in the lanes they name.
template <bool extremes>
inline __m128 NoiseLanesFor(__m128i triangles, __m128i zero, __m128i at_low, __m128i at_high, __m128 pin_low,
                            __m128 pin_high) {
  const __m128 noise = _mm_mul_ps(_mm_cvtepi32_ps(triangles), _mm_set1_ps(kNoiseUnit));
  if (!extremes) return _mm_andnot_ps(_mm_castsi128_ps(zero), noise);
  // As NoiseFor decides: a zero first, then the high extreme, then the low.
  const __m128 zeros = _mm_castsi128_ps(zero);
  const __m128 high = _mm_andnot_ps(zeros, _mm_castsi128_ps(at_high));
  const __m128 low = _mm_andnot_ps(_mm_or_ps(zeros, high), _mm_castsi128_ps(at_low));
  const __m128 any = _mm_or_ps(zeros, _mm_or_ps(low, high));
  return _mm_or_ps(_mm_andnot_ps(any, noise), _mm_or_ps(_mm_and_ps(low, pin_low), _mm_and_ps(high, pin_high)));
}

// Eight samples at a time, from a noise step on; returns how many it did.
template <bool extremes>
std::size_t GainS16DitheredSse2(const std::byte* in, std::byte* out, std::size_t samples, const DitherBounds& b,
                                TpdfNoise& noise, PeakTracker& before, std::uint64_t& clipped) {
  const __m128 gain = _mm_set1_ps(b.factor);
  const __m128 low = _mm_set1_ps(b.low);
  const __m128 high = _mm_set1_ps(b.high);
  const __m128 pin_low = _mm_set1_ps(b.pin_low);
  const __m128 pin_high = _mm_set1_ps(b.pin_high);
  const __m128i keep_low = _mm_set1_epi16(static_cast<std::int16_t>(b.keep_low));
  const __m128i keep_high = _mm_set1_epi16(static_cast<std::int16_t>(b.keep_high));
  const __m128i lowest = _mm_set1_epi32(-32768);
  const __m128i highest = _mm_set1_epi32(32767);
  // Bounds within the range clamp nothing that would need counting.
  const bool count = b.low < -32768 || b.high > 32767;
  NoiseLanes lanes(noise);
  __m128i lows = _mm_set1_epi16(static_cast<std::int16_t>(before.min));
  __m128i highs = _mm_set1_epi16(static_cast<std::int16_t>(before.max));
  __m128i clamps = _mm_setzero_si128();
  const std::size_t whole = samples - samples % 8;
  for (std::size_t i = 0; i < whole; i += 8) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    lows = _mm_min_epi16(lows, s);
    highs = _mm_max_epi16(highs, s);
    const __m128i zero = _mm_cmpeq_epi16(s, _mm_setzero_si128());
    const __m128i at_low = extremes ? _mm_cmpeq_epi16(s, keep_low) : zero;
    const __m128i at_high = extremes ? _mm_cmpeq_epi16(s, keep_high) : zero;
    const __m128 n0 = NoiseLanesFor<extremes>(lanes.NextTriangles(), _mm_unpacklo_epi16(zero, zero),
                                              _mm_unpacklo_epi16(at_low, at_low), _mm_unpacklo_epi16(at_high, at_high),
                                              pin_low, pin_high);
    const __m128 n1 = NoiseLanesFor<extremes>(lanes.NextTriangles(), _mm_unpackhi_epi16(zero, zero),
                                              _mm_unpackhi_epi16(at_low, at_low), _mm_unpackhi_epi16(at_high, at_high),
                                              pin_low, pin_high);
    const __m128i r0 = DitheredProducts(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16), n0, gain, low, high);
    const __m128i r1 = DitheredProducts(_mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16), n1, gain, low, high);
    if (count) {
      clamps = _mm_add_epi32(clamps, _mm_or_si128(_mm_cmpgt_epi32(r0, highest), _mm_cmplt_epi32(r0, lowest)));
      clamps = _mm_add_epi32(clamps, _mm_or_si128(_mm_cmpgt_epi32(r1, highest), _mm_cmplt_epi32(r1, lowest)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(r0, r1));
  }
  lanes.StoreTo(noise);
  alignas(16) std::int16_t low_lanes[8];
  alignas(16) std::int16_t high_lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(low_lanes), lows);
  _mm_store_si128(reinterpret_cast<__m128i*>(high_lanes), highs);
  for (int j = 0; j < 8; ++j) {
    before.min = low_lanes[j] < before.min ? low_lanes[j] : before.min;
    before.max = high_lanes[j] > before.max ? high_lanes[j] : before.max;
  }
  alignas(16) std::int32_t counts[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(counts), clamps);
  for (std::int32_t c : counts) clipped += static_cast<std::uint32_t>(-c);
  return whole;
}
#endif

}  // namespace
}  // namespace normalize
