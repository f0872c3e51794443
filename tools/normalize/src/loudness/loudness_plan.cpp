#include "loudness/loudness_plan.h"

#include <cmath>
#include <string>

#include "failure.h"
#include "loudness/channel_weights.h"
#include "loudness/gain_solver.h"
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

std::optional<LoudnessGain> LoudnessGainFor(double target_lufs, std::optional<double> ceiling_dbtp,
                                            const std::vector<double>& block_powers,
                                            const std::vector<CeilingPeak>& peaks) {
  const std::optional<double> wanted = GainForLoudness(block_powers, target_lufs);
  if (!wanted) return std::nullopt;
  LoudnessGain gain;
  gain.wanted_db = *wanted;
  double db = gain.wanted_db;
  for (const CeilingPeak& peak : peaks) {
    if (!ceiling_dbtp || !(peak.peak > 0)) continue;
    const double ceiling = std::pow(10.0, *ceiling_dbtp / 20);
    // Floats keep a millionth for the measurement's own single-precision rounding.
    const double reserve = peak.format.is_float() ? ceiling * 1e-6
                                                  : std::ldexp(1.0, 1 - static_cast<int>(peak.format.valid_bits));
    const double allowed_db = 20 * std::log10((ceiling - reserve) / peak.peak);
    if (allowed_db < db) {
      db = allowed_db;
      gain.held_by_ceiling = true;
    }
  }
  gain.plan = GainPlan{std::pow(10.0, db / 20), db};
  gain.result_lufs = GatedLoudness(block_powers, db);
  return gain;
}

}  // namespace normalize
