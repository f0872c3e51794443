// The 16-bit gain loop with AVX2: four double products per instruction where
// SSE2 has two. Built with AVX2 enabled; run only where the processor has it.
#include "samples/s16_dither.h"
#include "samples/s16_runs.h"

#ifdef NORMALIZE_X86_EXTRAS

namespace normalize {
namespace {

struct Avx2Lanes {
  using Gain = __m256d;
  static Gain Broadcast(double factor) { return _mm256_set1_pd(factor); }

  template <bool guard>
  static void Rounded8(__m128i s, Gain gain, __m128i& r0, __m128i& r1) {
    const __m256i v = _mm256_cvtepi16_epi32(s);
    __m256d low = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(v)), gain);
    __m256d high = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)), gain);
    if (guard) {
      const __m256d lowest = _mm256_set1_pd(-32769.0);
      const __m256d highest = _mm256_set1_pd(32769.0);
      low = _mm256_min_pd(_mm256_max_pd(low, lowest), highest);
      high = _mm256_min_pd(_mm256_max_pd(high, lowest), highest);
    }
    r0 = _mm256_cvtpd_epi32(low);
    r1 = _mm256_cvtpd_epi32(high);
  }
};

}  // namespace

std::size_t GainS16Avx2(const std::byte* in, std::byte* out, std::size_t samples, double factor,
                        PeakTracker& before, std::uint64_t& clipped) {
  return GainS16Runs<Avx2Lanes>(in, out, samples, factor, before, clipped);
}

namespace {

// TpdfNoise's step on one register of all eight lanes: sixteen triangles.
struct WideNoise {
  __m256i x, y, z, w;

  explicit WideNoise(const TpdfNoise& noise) : x(Load(noise.x)), y(Load(noise.y)), z(Load(noise.z)), w(Load(noise.w)) {}
  void StoreTo(TpdfNoise& noise) const {
    Store(noise.x, x);
    Store(noise.y, y);
    Store(noise.z, z);
    Store(noise.w, w);
  }
  __m256i Triangles() {
    const __m256i t = _mm256_xor_si256(x, _mm256_slli_epi32(x, 11));
    x = y;
    y = z;
    z = w;
    w = _mm256_xor_si256(_mm256_xor_si256(w, _mm256_srli_epi32(w, 19)), _mm256_xor_si256(t, _mm256_srli_epi32(t, 8)));
    return _mm256_sub_epi16(_mm256_srli_epi16(w, 8), _mm256_and_si256(w, _mm256_set1_epi16(0xFF)));
  }

 private:
  static __m256i Load(const std::uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(std::uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
};

inline __m256i WideSteps(__m128i v16, __m128i n16, __m256 gain, bool guard) {
  __m256 p = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(v16)), gain);
  if (guard) p = _mm256_min_ps(_mm256_max_ps(p, _mm256_set1_ps(-kGuard)), _mm256_set1_ps(kGuard));
  const __m256i n = _mm256_add_epi32(_mm256_cvtepi16_epi32(n16), _mm256_set1_epi32(128));
  return _mm256_srai_epi32(_mm256_add_epi32(_mm256_cvtps_epi32(p), n), 8);
}

inline __m256i WideBeyond(__m256i r, __m256i lowest, __m256i highest) {
  return _mm256_or_si256(_mm256_cmpgt_epi32(r, highest), _mm256_cmpgt_epi32(lowest, r));
}

template <bool extremes>
std::size_t DitheredRuns(const std::byte* in, std::byte* out, std::size_t samples, const DitherBounds& b,
                         TpdfNoise& noise, PeakTracker& before, std::uint64_t& clipped) {
  const __m256 gain = _mm256_set1_ps(b.scaled_factor);
  const __m256i keep_low = _mm256_set1_epi16(static_cast<std::int16_t>(b.keep_low));
  const __m256i keep_high = _mm256_set1_epi16(static_cast<std::int16_t>(b.keep_high));
  const __m256i pin_low = _mm256_set1_epi16(b.pin_low);
  const __m256i pin_high = _mm256_set1_epi16(b.pin_high);
  const __m256i low = _mm256_set1_epi16(static_cast<std::int16_t>(b.low));
  const __m256i high = _mm256_set1_epi16(static_cast<std::int16_t>(b.high));
  const __m256i lowest = _mm256_set1_epi32(b.lowest);
  const __m256i highest = _mm256_set1_epi32(b.highest);
  WideNoise lanes(noise);
  __m256i lows = _mm256_set1_epi16(static_cast<std::int16_t>(before.min));
  __m256i highs = _mm256_set1_epi16(static_cast<std::int16_t>(before.max));
  __m256i clamps = _mm256_setzero_si256();
  const std::size_t whole = samples - samples % TpdfNoise::kPerStep;
  for (std::size_t i = 0; i < whole; i += TpdfNoise::kPerStep) {
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i));
    lows = _mm256_min_epi16(lows, s);
    highs = _mm256_max_epi16(highs, s);
    const __m256i zero = _mm256_cmpeq_epi16(s, _mm256_setzero_si256());
    __m256i n = _mm256_andnot_si256(zero, lanes.Triangles());
    if (extremes) {
      const __m256i at_high = _mm256_andnot_si256(zero, _mm256_cmpeq_epi16(s, keep_high));
      const __m256i at_low = _mm256_andnot_si256(_mm256_or_si256(zero, at_high), _mm256_cmpeq_epi16(s, keep_low));
      n = _mm256_or_si256(_mm256_andnot_si256(_mm256_or_si256(at_low, at_high), n),
                          _mm256_or_si256(_mm256_and_si256(at_low, pin_low), _mm256_and_si256(at_high, pin_high)));
    }
    const __m256i r0 = WideSteps(_mm256_castsi256_si128(s), _mm256_castsi256_si128(n), gain, b.guard);
    const __m256i r1 = WideSteps(_mm256_extracti128_si256(s, 1), _mm256_extracti128_si256(n, 1), gain, b.guard);
    if (b.count) {
      clamps = _mm256_add_epi32(clamps, _mm256_add_epi32(WideBeyond(r0, lowest, highest), WideBeyond(r1, lowest, highest)));
    }
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(r0, r1), _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i), _mm256_min_epi16(_mm256_max_epi16(packed, low), high));
  }
  lanes.StoreTo(noise);
  AddExtremes(_mm_min_epi16(_mm256_castsi256_si128(lows), _mm256_extracti128_si256(lows, 1)),
              _mm_max_epi16(_mm256_castsi256_si128(highs), _mm256_extracti128_si256(highs, 1)), before);
  clipped += CountOf(_mm_add_epi32(_mm256_castsi256_si128(clamps), _mm256_extracti128_si256(clamps, 1)));
  return whole;
}

}  // namespace

std::size_t GainS16DitheredAvx2(const std::byte* in, std::byte* out, std::size_t samples, const DitherBounds& b,
                                TpdfNoise& noise, PeakTracker& before, std::uint64_t& clipped) {
  return b.extremes ? DitheredRuns<true>(in, out, samples, b, noise, before, clipped)
                    : DitheredRuns<false>(in, out, samples, b, noise, before, clipped);
}

}  // namespace normalize
#endif
