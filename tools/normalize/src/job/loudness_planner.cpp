// --loudness: the measured loudness brought to the target, held below a
// true-peak ceiling where one is given.
#include "job/planner.h"
#include "loudness/loudness_plan.h"

namespace normalize {
namespace {

const char* NoLoudnessReason(const WavLayout& layout, const LoudnessFigures& figures) {
  if (!(figures.sample_peak > 0)) return "silent";
  const std::uint64_t frames = layout.data_chunk().size / layout.format.block_align;
  if (frames * 10 < std::uint64_t{layout.format.sample_rate} * 4) return "shorter than one 400 ms block";
  return "below the -70 LUFS gate";
}

class LoudnessGainPlanner final : public Planner {
 public:
  LoudnessGainPlanner(double target_lufs, std::optional<double> ceiling_dbtp)
      : target_lufs_(target_lufs), ceiling_dbtp_(ceiling_dbtp) {}
  Measurement measurement() const override {
    return ceiling_dbtp_ ? Measurement::kLoudnessAndCeilingPeak : Measurement::kLoudness;
  }

  Decision Plan(const Measured& measured, const WavLayout& layout) const override {
    const LoudnessFigures& figures = *measured.loudness;
    const auto gain = LoudnessGainFor(target_lufs_, ceiling_dbtp_, figures.block_powers,
                                      {CeilingPeak{figures.ceiling_peak, layout.format}});
    if (!gain) {
      return Decision::LeaveAlone(ExitCode::kBelowGate, std::string(NoLoudnessReason(layout, figures)) +
                                                            "; no loudness to normalize, file left untouched");
    }
    Decision decision = Decision::Write(gain->plan);
    if (gain->held_by_ceiling) {
      decision.ceiling = CeilingHold{*ceiling_dbtp_, target_lufs_, gain->wanted_db, gain->result_lufs};
    }
    return decision;
  }

 private:
  double target_lufs_;
  std::optional<double> ceiling_dbtp_;
};

}  // namespace

std::unique_ptr<Planner> LoudnessPlanner(double target_lufs, std::optional<double> ceiling_dbtp) {
  return std::make_unique<LoudnessGainPlanner>(target_lufs, ceiling_dbtp);
}

}  // namespace normalize
