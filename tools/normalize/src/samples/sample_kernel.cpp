#include "samples/sample_kernel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "samples/s16_dither.h"
#include "samples/s16_runs.h"
#include "samples/sample_codec.h"

namespace normalize {
namespace {

// Adding and removing 1.5 * 2^52 leaves a double rounded to the nearest
// integer (ties to even) with plain IEEE arithmetic, which vectorises where a
// call to nearbyint would not. Valid for magnitudes below 2^51, so callers
// clamp first.
constexpr double kRoundingMagic = 6755399441055744.0;

// Every integer format is computed in double: each result is the product of
// the sample and the gain, in double, rounded to the nearest integer. (A float
// product misses the nearest value for some samples near halves.)
using codec::F32;
using codec::F64;
using codec::S16;
using codec::S24;
using codec::S32;
using codec::U8;

unsigned ContainerBits(const SampleFormat& format) { return format.container_bytes * 8; }

double FullScale(const SampleFormat& format) {
  return format.is_float() ? 1.0 : static_cast<double>(std::uint64_t{1} << (ContainerBits(format) - 1));
}

// Integer samples are scaled in units of the valid bits: `quantum` is the
// container's value of one such unit, so low bits a shorter format leaves zero
// stay zero.
struct IntegerGain {
  double factor;  // gain / quantum
  double lowest;  // the valid range, in quanta
  double highest;
  std::int32_t quantum;
};

template <typename Codec>
void GainIntegers(const std::byte* in, std::byte* out, std::size_t samples, const IntegerGain& k,
                  PeakTracker& before, std::uint64_t& clipped) {
  std::int32_t lo = static_cast<std::int32_t>(before.min);
  std::int32_t hi = static_cast<std::int32_t>(before.max);
  std::uint32_t clamps = 0;  // a buffer holds far fewer than 2^32 samples
  const double factor = k.factor;
  const double lowest = k.lowest;
  const double highest = k.highest;
  const double guard_low = lowest - 1;
  const double guard_high = highest + 1;
  for (std::size_t i = 0; i < samples; ++i) {
    const std::int32_t v = Codec::Load(in + i * Codec::kBytes);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
    double x = static_cast<double>(v) * factor;
    x = x < guard_low ? guard_low : x;
    x = x > guard_high ? guard_high : x;
    x = (x + kRoundingMagic) - kRoundingMagic;
    clamps += x < lowest;
    clamps += x > highest;
    x = x < lowest ? lowest : x;
    x = x > highest ? highest : x;
    Codec::Store(out + i * Codec::kBytes, static_cast<std::int32_t>(x) * k.quantum);
  }
  before.min = lo;
  before.max = hi;
  clipped += clamps;
}

// Integers with dither, one at a time, as the vector loops do (see
// s16_dither.h): lrintf rounds to nearest even, as their conversion does.
template <typename Codec>
void GainIntegersDithered(const std::byte* in, std::byte* out, std::size_t samples, const IntegerGain& k,
                          const DitherBounds& b, TpdfNoise& noise, PeakTracker& before, std::uint64_t& clipped) {
  std::int32_t lo = static_cast<std::int32_t>(before.min);
  std::int32_t hi = static_cast<std::int32_t>(before.max);
  std::uint64_t clamps = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    const std::int32_t v = Codec::Load(in + i * Codec::kBytes);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
    const std::int32_t n = NoiseFor(v, noise.Next(), b);
    const float p = std::clamp(static_cast<float>(v) * b.scaled_factor, -kGuard, kGuard);
    std::int32_t r = (static_cast<std::int32_t>(std::lrint(p)) + n + 128) >> 8;
    if (b.count) clamps += r < b.lowest || r > b.highest;
    r = std::clamp(std::clamp(r, b.lowest, b.highest), b.low, b.high);
    Codec::Store(out + i * Codec::kBytes, r * k.quantum);
  }
  before.min = lo;
  before.max = hi;
  clipped += clamps;
}

#ifdef NORMALIZE_SSE2
// 16-bit samples, the most common kind, eight at a time, multiplied in double
// as the scalar loop does: the conversion to integers rounds to nearest (ties
// to even, the default mode) and the saturating pack clamps to 16 bits.
struct Sse2Lanes {
  using Gain = __m128d;
  static Gain Broadcast(double factor) { return _mm_set1_pd(factor); }

  // The rounded products of the four 32-bit samples in `v`; `guard` keeps
  // products beyond the 32-bit range (gains of 2^16 and more) from converting
  // to the "integer indefinite" value instead of a clamped one.
  template <bool guard>
  static __m128i RoundedProducts(__m128i v, Gain gain) {
    __m128d low = _mm_mul_pd(_mm_cvtepi32_pd(v), gain);
    __m128d high = _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2))), gain);
    if (guard) {
      const __m128d lowest = _mm_set1_pd(-32769.0);
      const __m128d highest = _mm_set1_pd(32769.0);
      low = _mm_min_pd(_mm_max_pd(low, lowest), highest);
      high = _mm_min_pd(_mm_max_pd(high, lowest), highest);
    }
    return _mm_unpacklo_epi64(_mm_cvtpd_epi32(low), _mm_cvtpd_epi32(high));
  }

  template <bool guard>
  static void Rounded8(__m128i s, Gain gain, __m128i& r0, __m128i& r1) {
    r0 = RoundedProducts<guard>(_mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16), gain);
    r1 = RoundedProducts<guard>(_mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16), gain);
  }
};
#endif

template <typename Codec>
void GainFloats(const std::byte* in, std::byte* out, std::size_t samples, double gain,
                PeakTracker& before, std::uint64_t& clipped) {
  using Value = typename Codec::Value;
  constexpr double kLargest = std::numeric_limits<Value>::max();
  double lo = before.min;
  double hi = before.max;
  std::uint64_t non_finite = 0;
  std::uint64_t clamps = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    const Value v = Codec::Load(in + i * Codec::kBytes);
    const double x = v;
    if (!std::isfinite(x)) {
      ++non_finite;
      Codec::Store(out + i * Codec::kBytes, v);
      continue;
    }
    lo = x < lo ? x : lo;
    hi = x > hi ? x : hi;
    double y = x * gain;
    if (!(std::fabs(y) <= kLargest)) {
      ++clamps;
      y = std::copysign(kLargest, y);
    }
    Codec::Store(out + i * Codec::kBytes, static_cast<Value>(y));
  }
  before.min = lo;
  before.max = hi;
  before.non_finite += non_finite;
  clipped += clamps;
}

IntegerGain MakeIntegerGain(const SampleFormat& format, double gain) {
  const unsigned shift = ContainerBits(format) - format.valid_bits;
  const double top = static_cast<double>(std::uint64_t{1} << (format.valid_bits - 1));
  return IntegerGain{gain / static_cast<double>(std::uint64_t{1} << shift), -top, top - 1,
                     static_cast<std::int32_t>(std::int64_t{1} << shift)};
}

// Where the dithered results must stay: between the rounded products of the
// input's extremes where they are known (then a clamp is a clip only where
// those pass the range), else the range, where any clamp counts.
DitherBounds MakeDitherBounds(const IntegerGain& k, const Dither& dither) {
  const auto lowest = static_cast<std::int32_t>(k.lowest);
  const auto highest = static_cast<std::int32_t>(k.highest);
  DitherBounds b{static_cast<float>(k.factor * 256), std::fabs(k.factor) * 256 * -k.lowest * k.quantum >= kGuard,
                 lowest, highest, lowest, highest, true, false, 0, 0, 0, 0};
  if (!dither.low || !dither.high) return b;
  b.extremes = true;
  // In container values, as samples are compared; a value beyond the range
  // matches no sample (and must not wrap round in a 16-bit lane).
  b.keep_low = std::max(*dither.low, lowest * k.quantum);
  b.keep_high = std::min(*dither.high, highest * k.quantum);
  const double at_low = std::nearbyint(*dither.low * k.factor);
  const double at_high = std::nearbyint(*dither.high * k.factor);
  const double least = std::min(at_low, at_high);
  const double most = std::max(at_low, at_high);
  b.count = least < k.lowest || most > k.highest;
  b.low = static_cast<std::int32_t>(std::max(least, k.lowest));
  b.high = static_cast<std::int32_t>(std::min(most, k.highest));
  b.pin_high = k.factor > 0 ? kPin : -kPin;
  b.pin_low = static_cast<std::int16_t>(-b.pin_high);
  return b;
}

}  // namespace

void ApplyGainDithered(const SampleFormat& format, const std::byte* in, std::byte* out, std::size_t samples,
                       double gain, Dither& dither, PeakTracker& before, std::uint64_t& clipped, SimdLevel simd) {
  if (!DitherApplies(format, gain)) return ApplyGain(format, in, out, samples, gain, before, clipped, simd);
  const IntegerGain k = MakeIntegerGain(format, gain);
  // A gain that moves not even the loudest sample by half a step rounds
  // every sample back to itself: noise would be all that changed.
  if (dither.low && dither.high) {
    const double loudest = std::max(std::fabs(double(*dither.low)), std::fabs(double(*dither.high))) / k.quantum;
    if (loudest * std::fabs(gain - 1) < 0.5) return ApplyGain(format, in, out, samples, gain, before, clipped, simd);
  }
  const DitherBounds bounds = MakeDitherBounds(k, dither);
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8:
      return GainIntegersDithered<U8>(in, out, samples, k, bounds, dither.noise, before, clipped);
    case SampleEncoding::kSigned24:
      return GainIntegersDithered<S24>(in, out, samples, k, bounds, dither.noise, before, clipped);
    case SampleEncoding::kSigned32:
      return GainIntegersDithered<S32>(in, out, samples, k, bounds, dither.noise, before, clipped);
    default: break;
  }
#ifdef NORMALIZE_SSE2
  if (k.quantum == 1 && simd != SimdLevel::kScalar) {
    // The vector loops start where a step of the noise does.
    const std::size_t lead = std::min<std::size_t>(samples, dither.noise.UntilStep());
    GainIntegersDithered<S16>(in, out, lead, k, bounds, dither.noise, before, clipped);
    in += 2 * lead;
    out += 2 * lead;
    samples -= lead;
#ifdef NORMALIZE_X86_EXTRAS
    const bool avx2 = simd == SimdLevel::kBest && CpuHasAvx2();
#else
    const bool avx2 = false;
#endif
    std::size_t done = 0;
    if (avx2) {
#ifdef NORMALIZE_X86_EXTRAS
      done = GainS16DitheredAvx2(in, out, samples, bounds, dither.noise, before, clipped);
#endif
    } else {
      done = bounds.extremes ? GainS16DitheredSse2<true>(in, out, samples, bounds, dither.noise, before, clipped)
                             : GainS16DitheredSse2<false>(in, out, samples, bounds, dither.noise, before, clipped);
    }
    in += 2 * done;
    out += 2 * done;
    samples -= done;
  }
#endif
  GainIntegersDithered<S16>(in, out, samples, k, bounds, dither.noise, before, clipped);
}

Peak ToPeak(const PeakTracker& tracker, const SampleFormat& format) {
  const double scale = FullScale(format);
  return Peak{tracker.max > 0 ? tracker.max / scale : 0.0, tracker.min < 0 ? -tracker.min / scale : 0.0};
}

double PositiveCeiling(const SampleFormat& format) {
  if (format.is_float()) return std::numeric_limits<double>::infinity();
  const IntegerGain k = MakeIntegerGain(format, 1.0);
  return k.highest * k.quantum / FullScale(format);
}

void ApplyGain(const SampleFormat& format, const std::byte* in, std::byte* out, std::size_t samples,
               double gain, PeakTracker& before, std::uint64_t& clipped, SimdLevel simd) {
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8:
      return GainIntegers<U8>(in, out, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kSigned16: {
      const IntegerGain k = MakeIntegerGain(format, gain);
#ifdef NORMALIZE_SSE2
      if (k.quantum == 1 && simd != SimdLevel::kScalar) {
#ifdef NORMALIZE_X86_EXTRAS
        const std::size_t done = simd == SimdLevel::kBest && CpuHasAvx2()
                                     ? GainS16Avx2(in, out, samples, gain, before, clipped)
                                     : GainS16Runs<Sse2Lanes>(in, out, samples, gain, before, clipped);
#else
        const std::size_t done = GainS16Runs<Sse2Lanes>(in, out, samples, gain, before, clipped);
#endif
        in += 2 * done;
        out += 2 * done;
        samples -= done;
      }
#endif
      return GainIntegers<S16>(in, out, samples, k, before, clipped);
    }
    case SampleEncoding::kSigned24:
      return GainIntegers<S24>(in, out, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kSigned32:
      return GainIntegers<S32>(in, out, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kFloat32:
      return GainFloats<F32>(in, out, samples, gain, before, clipped);
    case SampleEncoding::kFloat64:
      return GainFloats<F64>(in, out, samples, gain, before, clipped);
  }
}

}  // namespace normalize
