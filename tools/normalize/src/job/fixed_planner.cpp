// -l and -a: a gain known before reading a sample.
#include "job/planner.h"

namespace normalize {
namespace {

class FixedGain final : public Planner {
 public:
  explicit FixedGain(GainPlan gain) : gain_(gain) {}
  Measurement measurement() const override { return Measurement::kNothing; }
  Decision Plan(const Measured&, const WavLayout&) const override { return Decision::Write(gain_); }

 private:
  GainPlan gain_;
};

}  // namespace

std::unique_ptr<Planner> FixedGainPlanner(GainPlan gain) { return std::make_unique<FixedGain>(gain); }

}  // namespace normalize
