#pragma once
// TPDF dither for the gain pass: before a product is rounded to the nearest
// step, noise of triangular distribution and one step peak is added, so that
// the rounding error becomes a steady noise independent of the signal instead
// of distortion that follows it (heard on fades, reverb tails and quiet
// passages). The noise comes from a generator seeded by the file's audio, so
// that the same audio and command always give the same bytes, whatever the
// file is called, and other audio gets other noise.
#include <cstdint>
#include <optional>

#include "wav/wav_format.h"

namespace normalize {

class InputFile;

// Eight xorshift128 generators side by side. Each step gives eight 32-bit
// words, that is sixteen 16-bit halves in memory order: sample i takes half
// i % 16 of the (i / 16)th step, whether the samples go through a vector loop
// or one at a time, and however the file is cut into blocks.
class TpdfNoise {
 public:
  static constexpr unsigned kLanes = 8;
  static constexpr unsigned kPerStep = 2 * kLanes;

  explicit TpdfNoise(std::uint64_t seed);

  // The next sample's noise, in 256ths of a step (-255..255): the difference
  // of the two bytes of its half, two uniform values, so triangular.
  std::int32_t Next() {
    if (used_ == kPerStep) Step();
    const unsigned i = used_++;
    return Triangle(static_cast<std::uint16_t>(ready_[i / 2] >> (16 * (i % 2))));
  }
  // How many samples before the next starts a step, as a vector loop needs.
  unsigned UntilStep() const { return (kPerStep - used_) % kPerStep; }

  static std::int32_t Triangle(std::uint16_t half) { return (half >> 8) - (half & 0xFF); }

  // The generators' state, lane by lane, for a vector loop to load and store
  // back (only where UntilStep() is 0).
  std::uint32_t x[kLanes], y[kLanes], z[kLanes], w[kLanes];

 private:
  void Step();

  std::uint32_t ready_[kLanes] = {};
  unsigned used_ = kPerStep;
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

// A seed from the audio itself, never its name or the time: a hash of the
// format, the data chunk's size and its bytes at the start, the middle and
// the end (so that two takes that both begin in silence still differ).
std::uint64_t DitherSeed(InputFile& input, const WavLayout& layout);

}  // namespace normalize
