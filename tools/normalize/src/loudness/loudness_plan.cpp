#include "loudness/loudness_plan.h"

#include <cmath>
#include <string>

#include "failure.h"
#include "loudness/channel_weights.h"
#include "samples/stream_processor.h"

namespace normalize {
namespace {

// Below this the K-weighting's shelf (near 1.7 kHz) has no room under Nyquist.
constexpr unsigned kLowestRateHz = 4000;

}  // namespace

LoudnessFigures MeasureLoudness(StreamProcessor& processor, const SampleFormat& format) {
  if (format.sample_rate < kLowestRateHz) {
    throw Failure(ExitCode::kUnsupported, "loudness needs a sample rate of at least " +
                                              std::to_string(kLowestRateHz) + " Hz; the file says " +
                                              std::to_string(format.sample_rate) + " Hz");
  }
  const std::optional<std::uint32_t> mask =
      format.channel_mask != 0 ? std::optional<std::uint32_t>(format.channel_mask) : std::nullopt;
  LoudnessAnalyzer analyzer(format, format.sample_rate, ChannelWeights(format.channels, mask));
  processor.Measure(analyzer);
  return analyzer.Figures();
}

std::optional<LoudnessGain> LoudnessGainFor(double target_lufs, std::optional<double> ceiling_dbtp,
                                            const LoudnessFigures& figures, const SampleFormat& format) {
  if (!figures.integrated_lufs) return std::nullopt;
  LoudnessGain gain;
  gain.wanted_db = target_lufs - *figures.integrated_lufs;
  double db = gain.wanted_db;
  if (ceiling_dbtp && figures.true_peak > 0) {
    const double ceiling = std::pow(10.0, *ceiling_dbtp / 20);
    // Floats keep a millionth for the measurement's own single-precision rounding.
    const double reserve =
        format.is_float() ? ceiling * 1e-6 : std::ldexp(1.0, 1 - static_cast<int>(format.valid_bits));
    const double allowed = (ceiling - reserve) / figures.true_peak;
    const double allowed_db = 20 * std::log10(allowed);
    if (allowed_db < db) {
      db = allowed_db;
      gain.held_by_ceiling = true;
    }
  }
  gain.plan = GainPlan{std::pow(10.0, db / 20), db};
  return gain;
}

}  // namespace normalize
