#pragma once
// TPDF dither for the gain pass: before a product is rounded to the nearest
// step, noise of triangular distribution and one step peak is added, so that
// the rounding error becomes a steady noise independent of the signal instead
// of distortion that follows it (heard on fades, reverb tails and quiet
// passages). The noise comes from a generator seeded per file, so that the
// same input and command always give the same bytes.
#include <cstdint>
#include <optional>
#include <string>

#include "wav/wav_format.h"

namespace normalize {

// Four xorshift128 generators side by side: sample i takes lane i % 4 of the
// (i / 4)th step, whether the samples go through a vector loop or one at a
// time, and however the file is cut into blocks.
class TpdfNoise {
 public:
  static constexpr unsigned kLanes = 4;

  explicit TpdfNoise(std::uint64_t seed);

  // The next sample's noise, in 65536ths of a step (-65535..65535): the
  // difference of two uniform 16-bit values, triangular.
  std::int32_t Next() {
    if (used_ == kLanes) Step();
    return Triangle(ready_[used_++]);
  }
  // How many samples before the next starts a step, as a vector loop needs.
  unsigned UntilStep() const { return (kLanes - used_) % kLanes; }

  static std::int32_t Triangle(std::uint32_t word) {
    return static_cast<std::int32_t>(word >> 16) - static_cast<std::int32_t>(word & 0xFFFF);
  }

  // The generators' state, lane by lane, for a vector loop to load and store
  // back (only where UntilStep() is 0).
  std::uint32_t x[kLanes], y[kLanes], z[kLanes], w[kLanes];

 private:
  void Step();

  std::uint32_t ready_[kLanes] = {};
  unsigned used_ = kLanes;
};

// Noise is added to every sample except zeros (digital silence stays silent)
// and, where the input's extremes are known, the samples that hold them: those
// land exactly where the gain puts them, and no other sample is dithered
// beyond their products, so that a peak mode's promise is kept.
struct Dither {
  explicit Dither(std::uint64_t seed) : noise(seed) {}
  TpdfNoise noise;
  std::optional<std::int32_t> low;   // the input's extremes, in the codec's
  std::optional<std::int32_t> high;  // signed container values, within its range
};

// Whether the gain pass dithers this format at this gain: integer PCM of 16
// valid bits or fewer, and a gain whose products are not all whole steps
// already (a whole-number ratio rounds nothing).
bool DitherApplies(const SampleFormat& format, double gain);

// A per-file seed from what names the file and its audio, never the time.
std::uint64_t DitherSeed(const std::string& file_name, std::uint64_t data_bytes);

}  // namespace normalize
