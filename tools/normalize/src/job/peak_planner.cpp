// -m: the peak found by a scan becomes the given percentage of full scale.
#include "job/decibels.h"
#include "job/planner.h"

namespace normalize {
namespace {

class PeakGain final : public Planner {
 public:
  explicit PeakGain(int percent) : percent_(percent) {}
  Measurement measurement() const override { return Measurement::kPeak; }

  Decision Plan(const Measured& measured, const WavLayout& layout) const override {
    const Peak peak = ToPeak(*measured.peak, layout.format);
    if (TooQuietToRaise(peak)) {
      return Decision::LeaveAlone(ExitCode::kSilent, "peak " + PeakText(peak) + " is below " +
                                                         std::to_string(kQuietestRaisedPeakDb) +
                                                         " dBFS, the quietest -m raises; file left untouched");
    }
    const auto gain = PercentGain(percent_, peak, layout.format);
    if (!gain) return Decision::LeaveAlone(ExitCode::kSilent, "silent; nothing to normalize, file left untouched");
    return Decision::Write(*gain);
  }

 private:
  int percent_;
};

}  // namespace

std::unique_ptr<Planner> PeakPlanner(int percent) { return std::make_unique<PeakGain>(percent); }

}  // namespace normalize
