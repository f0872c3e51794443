#include "samples/frame_gain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "samples/s16_dither.h"
#include "samples/sample_kernel.h"

namespace normalize {
namespace {

// Rounds to the nearest integer, ties to even, as lrint does in the default
// rounding, without a call where the conversion instruction does it.
std::int32_t RoundedToInt(float p) {
#ifdef NORMALIZE_SSE2
  return _mm_cvtss_si32(_mm_set_ss(p));
#else
  return static_cast<std::int32_t>(std::lrint(p));
#endif
}

// Rounds to the nearest integer, ties to even, as nearbyint does, for
// magnitudes below 2^51, in plain arithmetic that needs no call.
double Nearest(double x) {
  constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52
  return (x + kMagic) - kMagic;
}

// What the gain pass does at every gain for one 16-bit file and dither: the
// range, the extremes kept, and each frame's bounds as ApplyGainDithered
// makes them for its gain.
class S16Frames {
 public:
  S16Frames(const SampleFormat& format, const Dither& dither)
      : quantum_(std::int32_t{1} << (16 - format.valid_bits)),
        top_(static_cast<double>(std::int32_t{1} << (format.valid_bits - 1))),
        extremes_(dither.low && dither.high) {
    if (!extremes_) return;
    low_ = *dither.low, high_ = *dither.high;
    loudest_ = std::max(std::fabs(double(low_)), std::fabs(double(high_))) / quantum_;
  }

  // False where the call would not dither at this gain: a whole number, or
  // a gain that moves not even the loudest sample by half a step.
  bool Dithers(double gain) const {
    const bool whole = !(std::fabs(gain) < 4503599627370496.0) || gain == double(static_cast<std::int64_t>(gain));
    return !whole && !(extremes_ && loudest_ * std::fabs(gain - 1) < 0.5);
  }

  DitherBounds BoundsAt(double gain) const {
    const double factor = gain / quantum_, lowest = -top_, highest = top_ - 1;
    DitherBounds b{static_cast<float>(factor * 256), std::fabs(factor) * 256 * -lowest * quantum_ >= kGuard,
                   static_cast<std::int32_t>(lowest), static_cast<std::int32_t>(highest),
                   static_cast<std::int32_t>(lowest), static_cast<std::int32_t>(highest), true, false, 0, 0, 0, 0};
    if (!extremes_) return b;
    b.extremes = true;
    b.keep_low = std::max(low_, b.lowest * quantum_);
    b.keep_high = std::min(high_, b.highest * quantum_);
    const double at_low = Nearest(low_ * factor), at_high = Nearest(high_ * factor);
    const double least = std::min(at_low, at_high), most = std::max(at_low, at_high);
    b.count = least < lowest || most > highest;
    b.low = static_cast<std::int32_t>(std::max(least, lowest));
    b.high = static_cast<std::int32_t>(std::min(most, highest));
    b.pin_high = factor > 0 ? kPin : -kPin;
    b.pin_low = static_cast<std::int16_t>(-b.pin_high);
    return b;
  }

  // One frame, as the gain pass's scalar loop does it (see s16_dither.h).
  void Frame(const std::byte* in, std::byte* out, unsigned channels, const DitherBounds& b, TpdfNoise& noise,
             std::int32_t& lo, std::int32_t& hi, std::uint64_t& clamps) const {
    for (unsigned c = 0; c < channels; ++c) {
      std::int16_t sample;
      std::memcpy(&sample, in + 2 * c, 2);
      const std::int32_t v = sample;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
      const std::int32_t n = NoiseFor(v, noise.Next(), b);
      const float p = std::clamp(static_cast<float>(v) * b.scaled_factor, -kGuard, kGuard);
      std::int32_t r = (RoundedToInt(p) + n + 128) >> 8;
      if (b.count) clamps += r < b.lowest || r > b.highest;
      r = std::clamp(std::clamp(r, b.lowest, b.highest), b.low, b.high);
      const auto written = static_cast<std::int16_t>(r * quantum_);
      std::memcpy(out + 2 * c, &written, 2);
    }
  }

 private:
  std::int32_t quantum_;
  double top_;
  bool extremes_;
  std::int32_t low_ = 0, high_ = 0;
  double loudest_ = 0;
};

}  // namespace

void ApplyFrameGains(const SampleFormat& format, const std::byte* in, std::byte* out, std::size_t frames,
                     const double* gains, Dither* dither, PeakTracker& before, std::uint64_t& clipped) {
  const std::size_t block = format.block_align;
  const unsigned channels = format.channels;
  const auto one_call = [&](std::size_t f) {
    if (dither) {
      ApplyGainDithered(format, in + f * block, out + f * block, channels, gains[f], *dither, before, clipped,
                        SimdLevel::kScalar);
    } else {
      ApplyGain(format, in + f * block, out + f * block, channels, gains[f], before, clipped, SimdLevel::kScalar);
    }
  };
  if (!dither || format.encoding != SampleEncoding::kSigned16) {
    for (std::size_t f = 0; f < frames; ++f) one_call(f);
    return;
  }
  const S16Frames s16(format, *dither);
  auto lo = static_cast<std::int32_t>(before.min), hi = static_cast<std::int32_t>(before.max);
  std::uint64_t clamps = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    if (!s16.Dithers(gains[f])) {
      before.min = lo, before.max = hi;
      one_call(f);
      lo = static_cast<std::int32_t>(before.min), hi = static_cast<std::int32_t>(before.max);
      continue;
    }
    s16.Frame(in + f * block, out + f * block, channels, s16.BoundsAt(gains[f]), dither->noise, lo, hi, clamps);
  }
  before.min = lo, before.max = hi;
  clipped += clamps;
}

}  // namespace normalize
