// --analyze: the loudness figures are the answer; nothing is written.
#include "job/planner.h"

namespace normalize {
namespace {

class Analysis final : public Planner {
 public:
  Measurement measurement() const override { return Measurement::kLoudness; }
  bool writes() const override { return false; }

 protected:
  const char* ModeName() const override { return "analyze"; }
  std::string ModeMeaning() const override { return "--analyze"; }
  Decision Plan(const std::vector<MeasuredFile>& files) const override {
    return Decision::LeaveAlone(files[0].measured.loudness->integrated_lufs ? ExitCode::kOk : ExitCode::kBelowGate);
  }
};

}  // namespace

std::unique_ptr<Planner> AnalysisPlanner() { return std::make_unique<Analysis>(); }

}  // namespace normalize
