#include "loudness/channel_weights.h"

#include <string>

#include "failure.h"

namespace normalize {
namespace {

constexpr double kSurround = 1.41;

constexpr std::uint32_t kLowFrequency = 0x8;
constexpr std::uint32_t kBackLeft = 0x10;
constexpr std::uint32_t kBackRight = 0x20;
constexpr std::uint32_t kSideLeft = 0x200;
constexpr std::uint32_t kSideRight = 0x400;

}  // namespace

std::vector<double> ChannelWeights(unsigned channels, std::optional<std::uint32_t> mask) {
  std::vector<double> weights(channels, 1.0);
  if (!mask || *mask == 0) {
    if (channels > 3) weights[3] = 0;
    if (channels > 4) weights[4] = kSurround;
    if (channels > 5) weights[5] = kSurround;
    return weights;
  }
  // The back pair is the surround pair of a 5.1 layout (about 110 degrees);
  // beside a side pair it sits further back, where the weight is 1.
  const bool has_sides = (*mask & (kSideLeft | kSideRight)) != 0;
  unsigned channel = 0;
  for (std::uint32_t bit = 1; bit != 0 && channel < channels; bit <<= 1) {
    if ((*mask & bit) == 0) continue;
    if (bit == kLowFrequency) {
      weights[channel] = 0;
    } else if (bit == kSideLeft || bit == kSideRight) {
      weights[channel] = kSurround;
    } else if ((bit == kBackLeft || bit == kBackRight) && !has_sides) {
      weights[channel] = kSurround;
    }
    ++channel;
  }
  return weights;
}

namespace {

// Below this the K-weighting's shelf (near 1.7 kHz) has no room under Nyquist.
constexpr unsigned kLowestRateHz = 4000;

}  // namespace

std::vector<double> WeightsToMeasure(const SampleFormat& format) {
  if (format.sample_rate < kLowestRateHz) {
    throw Failure(ExitCode::kUnsupported, "loudness needs a sample rate of at least " +
                                              std::to_string(kLowestRateHz) + " Hz; the file says " +
                                              std::to_string(format.sample_rate) + " Hz");
  }
  return ChannelWeights(format.channels, format.channel_mask != 0 ? std::optional<std::uint32_t>(format.channel_mask)
                                                                  : std::nullopt);
}

}  // namespace normalize
