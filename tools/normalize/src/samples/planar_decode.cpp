#include "samples/planar_decode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "samples/sample_codec.h"
#include "samples/simd.h"

namespace normalize {
namespace {

template <typename Codec>
void Deinterleave(const std::byte* data, std::size_t frames, unsigned channels, float* const* out, float* peaks,
                  std::uint64_t& non_finite) {
  constexpr std::size_t kBytes = Codec::kBytes;
  std::uint64_t bad = 0;
  for (unsigned c = 0; c < channels; ++c) {
    const std::byte* p = data + c * kBytes;
    float* o = out[c];
    float peak = 0;
    for (std::size_t i = 0; i < frames; ++i, p += channels * kBytes) {
      float v = Codec::Unit(Codec::Load(p));
      if constexpr (Codec::kFloat) {
        if (!std::isfinite(v)) {
          ++bad;
          v = 0.0f;
        }
      }
      o[i] = v;
      peak = std::max(peak, std::fabs(v));
    }
    peaks[c] = peak;
  }
  non_finite += bad;
}

// 16-bit stereo, the commonest file, four frames at a time.
void DeinterleaveStereo16(const std::byte* data, std::size_t frames, float* const* out, float* peaks) {
  std::size_t i = 0;
  peaks[0] = peaks[1] = 0;
#ifdef NORMALIZE_SSE2
  const __m128 scale = _mm_set1_ps(1.0f / 32768);
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 left_peaks = _mm_setzero_ps(), right_peaks = _mm_setzero_ps();
  for (; i + 4 <= frames; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 4 * i));
    const __m128 left = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16)), scale);
    const __m128 right = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(v, 16)), scale);
    _mm_storeu_ps(out[0] + i, left);
    _mm_storeu_ps(out[1] + i, right);
    left_peaks = _mm_max_ps(left_peaks, _mm_and_ps(left, abs_mask));
    right_peaks = _mm_max_ps(right_peaks, _mm_and_ps(right, abs_mask));
  }
  float lanes[2][4];
  _mm_storeu_ps(lanes[0], left_peaks);
  _mm_storeu_ps(lanes[1], right_peaks);
  for (unsigned c = 0; c < 2; ++c) {
    peaks[c] = std::max(std::max(lanes[c][0], lanes[c][1]), std::max(lanes[c][2], lanes[c][3]));
  }
#endif
  for (; i < frames; ++i) {
    for (unsigned c = 0; c < 2; ++c) {
      out[c][i] = codec::S16::Unit(codec::S16::Load(data + 4 * i + 2 * c));
      peaks[c] = std::max(peaks[c], std::fabs(out[c][i]));
    }
  }
}

// 24-bit, every channel: each sample read as four bytes (its own three and
// the next one's first, shifted out), but for the block's last, whose
// fourth byte may lie beyond the block.
void Deinterleave24(const std::byte* data, std::size_t frames, unsigned channels, float* const* out, float* peaks) {
  const std::size_t stride = 3 * static_cast<std::size_t>(channels);
  for (unsigned c = 0; c < channels; ++c) {
    const std::byte* p = data + 3 * c;
    float* o = out[c];
    float peak = 0;
    const std::size_t whole = frames == 0 ? 0 : c + 1 == channels ? frames - 1 : frames;
    std::size_t i = 0;
#ifdef NORMALIZE_SSE2
    // Four at a time from their words, so that the peak's chain of maxima
    // is a quarter as long.
    const __m128 scale = _mm_set1_ps(1.0f / 8388608);
    const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 lanes = _mm_setzero_ps();
    for (; i + 4 <= whole; i += 4, p += 4 * stride) {
      std::int32_t words[4];
      for (std::size_t k = 0; k < 4; ++k) std::memcpy(&words[k], p + k * stride, 4);
      const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
      const __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(raw, 8), 8)), scale);
      _mm_storeu_ps(o + i, v);
      lanes = _mm_max_ps(lanes, _mm_and_ps(v, abs_mask));
    }
    float four[4];
    _mm_storeu_ps(four, lanes);
    peak = std::max(std::max(four[0], four[1]), std::max(four[2], four[3]));
#endif
    for (; i < whole; ++i, p += stride) {
      std::uint32_t word;
      std::memcpy(&word, p, 4);
      const auto v = static_cast<float>(static_cast<std::int32_t>(word << 8) >> 8) * (1.0f / 8388608);
      o[i] = v;
      peak = std::max(peak, std::fabs(v));
    }
    for (; i < frames; ++i, p += stride) {
      o[i] = codec::S24::Unit(codec::S24::Load(p));
      peak = std::max(peak, std::fabs(o[i]));
    }
    peaks[c] = peak;
  }
}

#ifdef NORMALIZE_X86_EXTRAS
__attribute__((target("avx2"))) inline __m256 Magnitude(__m256 v) {
  return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
}

__attribute__((target("avx2"))) inline float Largest(__m256 v) {
  float lanes[8];
  _mm256_storeu_ps(lanes, v);
  float largest = 0;
  for (const float lane : lanes) largest = std::max(largest, lane);
  return largest;
}

// Eight samples of one channel stored at `to`, their largest magnitude kept.
__attribute__((target("avx2"))) inline void Store8(__m256 v, float* to, __m256& largest) {
  _mm256_storeu_ps(to, v);
  largest = _mm256_max_ps(largest, Magnitude(v));
}

// Eight 24-bit samples of `p` (24 bytes, read as 32) in the top of eight
// 32-bit lanes, times `scale`.
__attribute__((target("avx2"))) inline __m256 Load24(const std::byte* p, __m256 scale) {
  const __m256i halves = _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0);
  const __m256i tops = _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,  //
                                        -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i words = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(raw, halves), tops);
  return _mm256_mul_ps(_mm256_cvtepi32_ps(words), scale);
}

// Lanes 0 1 4 5 | 2 3 6 7 into 0 to 7.
__attribute__((target("avx2"))) inline __m256 InOrder(__m256 v) {
  return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(3, 1, 2, 0)));
}

// 24-bit mono and stereo eight frames at a time, each sample exactly as
// Unit gives it (shifted to the top, converted, scaled by a power of two).
// Gives the frames done; the rest, and the last few, whose 32-byte reads
// would pass the data's end, are left to the caller.
__attribute__((target("avx2"))) std::size_t Deinterleave24Avx2(const std::byte* data, std::size_t frames,
                                                               unsigned channels, float* const* out,
                                                               float* peaks) {
  const __m256 scale = _mm256_set1_ps(1.0f / 2147483648.0f);
  __m256 first = _mm256_setzero_ps(), second = _mm256_setzero_ps();
  std::size_t i = 0;
  if (channels == 1) {
    for (; i + 11 <= frames; i += 8) {
      const __m256 v = Load24(data + 3 * i, scale);
      Store8(v, out[0] + i, first);
    }
  } else {
    for (; i + 10 <= frames; i += 8) {
      const __m256 a = Load24(data + 6 * i, scale);       // L0 R0 L1 R1 | L2 R2 L3 R3
      const __m256 b = Load24(data + 6 * i + 24, scale);  // L4 R4 L5 R5 | L6 R6 L7 R7
      const __m256 left = InOrder(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
      const __m256 right = InOrder(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
      Store8(left, out[0] + i, first);
      Store8(right, out[1] + i, second);
    }
    peaks[1] = Largest(second);
  }
  peaks[0] = Largest(first);
  return i;
}

// 16-bit mono and stereo eight frames at a time.
__attribute__((target("avx2"))) std::size_t Deinterleave16Avx2(const std::byte* data, std::size_t frames,
                                                               unsigned channels, float* const* out,
                                                               float* peaks) {
  const __m256 scale = _mm256_set1_ps(1.0f / 32768);
  __m256 first = _mm256_setzero_ps(), second = _mm256_setzero_ps();
  std::size_t i = 0;
  if (channels == 1) {
    for (; i + 8 <= frames; i += 8) {
      const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
      const __m256 v = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(raw)), scale);
      Store8(v, out[0] + i, first);
    }
  } else {
    for (; i + 8 <= frames; i += 8) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * i));
      const __m256 left = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16)), scale);
      const __m256 right = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srai_epi32(v, 16)), scale);
      Store8(left, out[0] + i, first);
      Store8(right, out[1] + i, second);
    }
    peaks[1] = Largest(second);
  }
  peaks[0] = Largest(first);
  return i;
}
#endif

void DecodeWithoutAvx2(const SampleFormat& format, const std::byte* data, std::size_t frames, float* const* out,
                       float* peaks, std::uint64_t& non_finite) {
  const unsigned channels = format.channels;
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8:
      return Deinterleave<codec::U8>(data, frames, channels, out, peaks, non_finite);
    case SampleEncoding::kSigned16:
      if (channels == 2) return DeinterleaveStereo16(data, frames, out, peaks);
      return Deinterleave<codec::S16>(data, frames, channels, out, peaks, non_finite);
    case SampleEncoding::kSigned24:
      return Deinterleave24(data, frames, channels, out, peaks);
    case SampleEncoding::kSigned32:
      return Deinterleave<codec::S32>(data, frames, channels, out, peaks, non_finite);
    case SampleEncoding::kFloat32:
      return Deinterleave<codec::F32>(data, frames, channels, out, peaks, non_finite);
    case SampleEncoding::kFloat64:
      return Deinterleave<codec::F64>(data, frames, channels, out, peaks, non_finite);
  }
}

}  // namespace

void DecodePlanar(const SampleFormat& format, const std::byte* data, std::size_t frames, float* const* out,
                  float* peaks, std::uint64_t& non_finite) {
  std::size_t done = 0;
#ifdef NORMALIZE_X86_EXTRAS
  const unsigned channels = format.channels;
  if (channels <= 2 && CpuHasAvx2()) {
    if (format.encoding == SampleEncoding::kSigned16) done = Deinterleave16Avx2(data, frames, channels, out, peaks);
    if (format.encoding == SampleEncoding::kSigned24) done = Deinterleave24Avx2(data, frames, channels, out, peaks);
  }
#endif
  if (done == 0) return DecodeWithoutAvx2(format, data, frames, out, peaks, non_finite);
  // What the wide loop left.
  float rest_peaks[2];
  float* const rest[2] = {out[0] + done, format.channels == 2 ? out[1] + done : nullptr};
  DecodeWithoutAvx2(format, data + done * format.block_align, frames - done, rest, rest_peaks, non_finite);
  for (unsigned c = 0; c < format.channels; ++c) peaks[c] = std::max(peaks[c], rest_peaks[c]);
}

}  // namespace normalize
