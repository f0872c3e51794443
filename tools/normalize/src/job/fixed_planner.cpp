// -l and -a: a gain known before reading a sample.
#include "job/decibels.h"
#include "job/planner.h"

namespace normalize {
namespace {

class FixedGain final : public Planner {
 public:
  FixedGain(GainPlan gain, std::optional<int> threshold_db) : Planner(threshold_db), gain_(gain) {}
  Measurement measurement() const override { return Measurement::kNothing; }

 protected:
  const char* ModeName() const override { return "gain"; }
  std::string ModeMeaning() const override { return "gain " + Fixed(gain_.factor, 17); }
  Decision Plan(const std::vector<MeasuredFile>&) const override {
    // -l 1 and -a 0 change no sample.
    const WritePlan plan{gain_, std::nullopt, true, {}, std::nullopt};
    if (gain_.factor == 1) return Decision::AlreadyRight(plan, "a gain of " + Decibels(0, true) + " dB");
    return Decision::Write(plan);
  }

 private:
  GainPlan gain_;
};

}  // namespace

std::unique_ptr<Planner> FixedGainPlanner(GainPlan gain, std::optional<int> threshold_db) {
  return std::make_unique<FixedGain>(gain, threshold_db);
}

}  // namespace normalize
