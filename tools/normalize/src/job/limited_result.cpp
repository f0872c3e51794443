#include "job/limited_result.h"

#include <algorithm>
#include <cmath>

#include "loudness/file_measurement.h"

namespace normalize {
namespace {

// A limited result this near the target is where it should be.
constexpr double kCloseEnoughLu = 0.01;
constexpr int kMostPasses = 6;
// The limiter's threshold below the ceiling: its close look reconstructs
// crests with a sinc of 256 samples, not an infinite one.
constexpr double kMarginDb = 0.05;

struct Trial {
  double db;
  LoudnessFigures figures;
  std::optional<LimiterReport> limiting;
  double lufs() const { return figures.integrated_lufs.value_or(-70); }
};

}  // namespace

LimiterSettings LimiterFor(const LimitPlan& limit, const SampleFormat& format) {
  LimiterSettings settings;
  const double ceiling = std::pow(10.0, limit.ceiling_dbtp / 20);
  // As the ceiling's hold keeps it: a step for the rounding of integers.
  const double reserve =
      format.is_float() ? ceiling * 1e-6 : std::ldexp(1.0, 1 - static_cast<int>(format.valid_bits));
  settings.threshold = (ceiling - reserve) * std::pow(10.0, -kMarginDb / 20);
  settings.most_reduction_db = limit.depth_db + kMarginDb;
  return settings;
}

LimitedResult SolveLimitedResult(StreamProcessor& processor, const WavLayout& layout, const WritePlan& plan,
                                 const LimiterSettings& settings,
                                 const std::function<std::optional<Dither>(double factor)>& dither_for) {
  LimitedResult result;
  result.settings = settings;
  result.factor = plan.gain.factor;
  if (!plan.target_lufs) return result;
  const double target = *plan.target_lufs;
  const double most_db = plan.limit->most_db;
  const auto measure = [&](double db) {
    const double factor = std::pow(10.0, db / 20);
    processor.MeasureResultOf(factor, dither_for(factor), settings);
    return Trial{db, MeasureLoudnessOf(processor, layout.format), processor.measured_limiting()};
  };
  // The loudness rises with the gain, dB for dB where nothing is limited and
  // ever less as more is: a secant's steps, the first as if it were dB for dB.
  std::optional<Trial> before;
  Trial trial = measure(plan.gain.db);
  for (int pass = 1; pass < kMostPasses; ++pass) {
    const double miss = target - trial.lufs();
    if (std::fabs(miss) <= kCloseEnoughLu || (miss > 0 && trial.db >= most_db)) break;
    double next = trial.db + miss;
    if (before && before->lufs() != trial.lufs()) {
      next = trial.db + miss * (trial.db - before->db) / (trial.lufs() - before->lufs());
    }
    next = std::min(next, most_db);
    if (next == trial.db) break;
    before = trial;
    trial = measure(next);
  }
  result.factor = std::pow(10.0, trial.db / 20);
  result.figures = trial.figures;
  result.limiting = trial.limiting;
  return result;
}

}  // namespace normalize
