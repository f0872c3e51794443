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

// The noise's unit, a 65536th of a step: a power of two, so that scaling the
// noise is exact and the vector and scalar sums agree.
constexpr double kNoiseUnit = 1.0 / 65536;

// In quanta: the dithered product is held within [low, high] before it is
// rounded; samples equal to keep_low or keep_high (and zeros) get no noise.
struct DitherBounds {
  double low;
  double high;
  std::int32_t keep_low;
  std::int32_t keep_high;
};

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
inline __m128i DitheredProducts(__m128i v, __m128i noise, __m128d gain, __m128d low, __m128d high) {
  const __m128d unit = _mm_set1_pd(kNoiseUnit);
  const auto one_half = [&](__m128i values, __m128i noises) {
    const __m128d x = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(values), gain), _mm_mul_pd(_mm_cvtepi32_pd(noises), unit));
    return _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(x, low), high));
  };
  const auto upper = [](__m128i a) { return _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2)); };
  return _mm_unpacklo_epi64(one_half(v, noise), one_half(upper(v), upper(noise)));
}

// Eight samples at a time, from a noise step on; returns how many it did.
inline std::size_t GainS16DitheredSse2(const std::byte* in, std::byte* out, std::size_t samples, double factor,
                                       const DitherBounds& bounds, TpdfNoise& noise, PeakTracker& before,
                                       std::uint64_t& clipped) {
  const __m128d gain = _mm_set1_pd(factor);
  const __m128d low = _mm_set1_pd(bounds.low);
  const __m128d high = _mm_set1_pd(bounds.high);
  const __m128i keep_low = _mm_set1_epi16(static_cast<std::int16_t>(bounds.keep_low));
  const __m128i keep_high = _mm_set1_epi16(static_cast<std::int16_t>(bounds.keep_high));
  const __m128i lowest = _mm_set1_epi32(-32768);
  const __m128i highest = _mm_set1_epi32(32767);
  // Bounds within the range clamp nothing that would need counting.
  const bool count = bounds.low < -32768 || bounds.high > 32767;
  NoiseLanes lanes(noise);
  __m128i lows = _mm_set1_epi16(static_cast<std::int16_t>(before.min));
  __m128i highs = _mm_set1_epi16(static_cast<std::int16_t>(before.max));
  __m128i clamps = _mm_setzero_si128();
  const std::size_t whole = samples - samples % 8;
  for (std::size_t i = 0; i < whole; i += 8) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    lows = _mm_min_epi16(lows, s);
    highs = _mm_max_epi16(highs, s);
    const __m128i kept = _mm_or_si128(_mm_cmpeq_epi16(s, _mm_setzero_si128()),
                                      _mm_or_si128(_mm_cmpeq_epi16(s, keep_low), _mm_cmpeq_epi16(s, keep_high)));
    const __m128i n0 = _mm_andnot_si128(_mm_unpacklo_epi16(kept, kept), lanes.NextTriangles());
    const __m128i n1 = _mm_andnot_si128(_mm_unpackhi_epi16(kept, kept), lanes.NextTriangles());
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
