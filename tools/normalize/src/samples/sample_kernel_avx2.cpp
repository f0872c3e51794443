// The 16-bit gain loop with AVX2: four double products per instruction where
// SSE2 has two. Built with AVX2 enabled; run only where the processor has it.
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

}  // namespace normalize
#endif
