// The extremes of samples as they are read, for every supported encoding.
#include <cmath>
#include <cstdint>

#include "samples/s16_runs.h"
#include "samples/sample_codec.h"
#include "samples/sample_kernel.h"

namespace normalize {
namespace {

// NaN and infinities are not audio: they are counted and left out.
template <typename Codec>
void ScanFloats(const std::byte* data, std::size_t samples, PeakTracker& peak) {
  double lo = peak.min;
  double hi = peak.max;
  std::uint64_t non_finite = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    const double v = Codec::Load(data + i * Codec::kBytes);
    if (!std::isfinite(v)) {
      ++non_finite;
      continue;
    }
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  peak.min = lo;
  peak.max = hi;
  peak.non_finite += non_finite;
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

#ifdef NORMALIZE_SSE2
// Returns how many samples it did.
std::size_t ScanS16Sse2(const std::byte* data, std::size_t samples, PeakTracker& peak) {
  std::int16_t low = static_cast<std::int16_t>(peak.min);
  std::int16_t high = static_cast<std::int16_t>(peak.max);
  const std::size_t whole = samples - samples % 8;
  ExtremesS16(data, whole, low, high);
  peak.min = low;
  peak.max = high;
  return whole;
}
#endif

}  // namespace

void ScanPeak(const SampleFormat& format, const std::byte* data, std::size_t samples,
              PeakTracker& peak) {
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8: return Scan<codec::U8>(data, samples, peak);
    case SampleEncoding::kSigned16: {
#ifdef NORMALIZE_SSE2
      const std::size_t done = ScanS16Sse2(data, samples, peak);
      data += 2 * done;
      samples -= done;
#endif
      return Scan<codec::S16>(data, samples, peak);
    }
    case SampleEncoding::kSigned24: return Scan<codec::S24>(data, samples, peak);
    case SampleEncoding::kSigned32: return Scan<codec::S32>(data, samples, peak);
    case SampleEncoding::kFloat32: return ScanFloats<codec::F32>(data, samples, peak);
    case SampleEncoding::kFloat64: return ScanFloats<codec::F64>(data, samples, peak);
  }
}

}  // namespace normalize
