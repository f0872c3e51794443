#include "sample_kernel.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace normalize {
namespace {

static_assert(std::endian::native == std::endian::little,
              "samples are read in place as little-endian values");
static_assert(std::numeric_limits<double>::is_iec559);

// Adding and removing 1.5 * 2^52 leaves a double rounded to the nearest
// integer (ties to even) with plain IEEE arithmetic, which vectorises where a
// call to nearbyint would not. Valid for |x| < 2^51, so callers clamp first.
constexpr double kRoundingMagic = 6755399441055744.0;

struct U8 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 1;
  static Value Load(const std::byte* p) { return std::to_integer<std::int32_t>(*p) - 128; }
  static void Store(std::byte* p, Value v) { *p = static_cast<std::byte>(v + 128); }
};

struct S16 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 2;
  static Value Load(const std::byte* p) {
    std::int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(std::byte* p, Value v) {
    const auto s = static_cast<std::int16_t>(v);
    std::memcpy(p, &s, sizeof s);
  }
};

struct S24 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 3;
  static Value Load(const std::byte* p) {
    const auto u = std::to_integer<std::uint32_t>(p[0]) | std::to_integer<std::uint32_t>(p[1]) << 8 |
                   std::to_integer<std::uint32_t>(p[2]) << 16;
    return static_cast<std::int32_t>(u << 8) >> 8;
  }
  static void Store(std::byte* p, Value v) {
    const auto u = static_cast<std::uint32_t>(v);
    p[0] = static_cast<std::byte>(u);
    p[1] = static_cast<std::byte>(u >> 8);
    p[2] = static_cast<std::byte>(u >> 16);
  }
};

struct S32 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 4;
  static Value Load(const std::byte* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(std::byte* p, Value v) { std::memcpy(p, &v, sizeof v); }
};

template <typename T>
struct Float {
  using Value = T;
  static constexpr std::size_t kBytes = sizeof(T);
  static Value Load(const std::byte* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(std::byte* p, Value v) { std::memcpy(p, &v, sizeof v); }
};

unsigned ContainerBits(const SampleFormat& format) { return format.container_bytes * 8; }

double FullScale(const SampleFormat& format) {
  return format.is_float() ? 1.0 : static_cast<double>(std::uint64_t{1} << (ContainerBits(format) - 1));
}

template <typename Codec>
void Scan(const std::byte* data, std::size_t samples, PeakTracker& peak) {
  typename Codec::Value lo = static_cast<typename Codec::Value>(peak.min);
  typename Codec::Value hi = static_cast<typename Codec::Value>(peak.max);
  for (std::size_t i = 0; i < samples; ++i) {
    const auto v = Codec::Load(data + i * Codec::kBytes);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  peak.min = static_cast<double>(lo);
  peak.max = static_cast<double>(hi);
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
void GainIntegers(std::byte* data, std::size_t samples, const IntegerGain& k, PeakTracker& before,
                  std::uint64_t& clipped) {
  std::int32_t lo = static_cast<std::int32_t>(before.min);
  std::int32_t hi = static_cast<std::int32_t>(before.max);
  std::uint64_t clamps = 0;
  const double guard_low = k.lowest - 1;
  const double guard_high = k.highest + 1;
  for (std::size_t i = 0; i < samples; ++i) {
    std::byte* p = data + i * Codec::kBytes;
    const std::int32_t v = Codec::Load(p);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
    double x = static_cast<double>(v) * k.factor;
    x = x < guard_low ? guard_low : (x > guard_high ? guard_high : x);
    x = (x + kRoundingMagic) - kRoundingMagic;
    clamps += static_cast<std::uint64_t>((x < k.lowest) | (x > k.highest));
    x = x < k.lowest ? k.lowest : (x > k.highest ? k.highest : x);
    Codec::Store(p, static_cast<std::int32_t>(x) * k.quantum);
  }
  before.min = lo;
  before.max = hi;
  clipped += clamps;
}

template <typename Codec>
void GainFloats(std::byte* data, std::size_t samples, double gain, PeakTracker& before) {
  double lo = before.min;
  double hi = before.max;
  for (std::size_t i = 0; i < samples; ++i) {
    std::byte* p = data + i * Codec::kBytes;
    const double x = Codec::Load(p);
    lo = x < lo ? x : lo;
    hi = x > hi ? x : hi;
    Codec::Store(p, static_cast<typename Codec::Value>(x * gain));
  }
  before.min = lo;
  before.max = hi;
}

IntegerGain MakeIntegerGain(const SampleFormat& format, double gain) {
  const unsigned shift = ContainerBits(format) - format.valid_bits;
  const double top = static_cast<double>(std::uint64_t{1} << (format.valid_bits - 1));
  return IntegerGain{gain / static_cast<double>(std::uint64_t{1} << shift), -top, top - 1,
                     static_cast<std::int32_t>(std::int64_t{1} << shift)};
}

}  // namespace

Peak ToPeak(const PeakTracker& tracker, const SampleFormat& format) {
  const double scale = FullScale(format);
  return Peak{tracker.max > 0 ? tracker.max / scale : 0.0, tracker.min < 0 ? -tracker.min / scale : 0.0};
}

double PositiveCeiling(const SampleFormat& format) {
  if (format.is_float()) return std::numeric_limits<double>::infinity();
  const IntegerGain k = MakeIntegerGain(format, 1.0);
  return k.highest * k.quantum / FullScale(format);
}

void ScanPeak(const SampleFormat& format, const std::byte* data, std::size_t samples,
              PeakTracker& peak) {
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8: return Scan<U8>(data, samples, peak);
    case SampleEncoding::kSigned16: return Scan<S16>(data, samples, peak);
    case SampleEncoding::kSigned24: return Scan<S24>(data, samples, peak);
    case SampleEncoding::kSigned32: return Scan<S32>(data, samples, peak);
    case SampleEncoding::kFloat32: return Scan<Float<float>>(data, samples, peak);
    case SampleEncoding::kFloat64: return Scan<Float<double>>(data, samples, peak);
  }
}

void ApplyGain(const SampleFormat& format, std::byte* data, std::size_t samples, double gain,
               PeakTracker& before, std::uint64_t& clipped) {
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8:
      return GainIntegers<U8>(data, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kSigned16:
      return GainIntegers<S16>(data, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kSigned24:
      return GainIntegers<S24>(data, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kSigned32:
      return GainIntegers<S32>(data, samples, MakeIntegerGain(format, gain), before, clipped);
    case SampleEncoding::kFloat32:
      return GainFloats<Float<float>>(data, samples, gain, before);
    case SampleEncoding::kFloat64:
      return GainFloats<Float<double>>(data, samples, gain, before);
  }
}

}  // namespace normalize
