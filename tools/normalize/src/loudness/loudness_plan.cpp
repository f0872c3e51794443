#include "loudness/loudness_plan.h"

#include <string>

#include "failure.h"
#include "loudness/channel_weights.h"
#include "samples/stream_processor.h"

namespace normalize {
namespace {

// Below this the K-weighting's shelf (near 1.7 kHz) has no room under Nyquist.
constexpr unsigned kLowestRateHz = 4000;

}  // namespace

LoudnessFigures MeasureLoudness(StreamProcessor& processor, const SampleFormat& format, bool ceiling_peak) {
  if (format.sample_rate < kLowestRateHz) {
    throw Failure(ExitCode::kUnsupported, "loudness needs a sample rate of at least " +
                                              std::to_string(kLowestRateHz) + " Hz; the file says " +
                                              std::to_string(format.sample_rate) + " Hz");
  }
  const std::optional<std::uint32_t> mask =
      format.channel_mask != 0 ? std::optional<std::uint32_t>(format.channel_mask) : std::nullopt;
  LoudnessAnalyzer analyzer(format, format.sample_rate, ChannelWeights(format.channels, mask), SimdLevel::kBest,
                            ceiling_peak);
  processor.Measure(analyzer);
  return analyzer.Figures();
}

}  // namespace normalize
