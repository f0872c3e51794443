// -m: the loudest sample (of the file, or of the album) becomes the given
// percentage of full scale.
#include <cmath>

#include "job/decibels.h"
#include "job/planner.h"

namespace normalize {
namespace {

// -m raises no file whose peak is below this: beneath 24-bit resolution there
// is nothing to hear, and a float file's tiny peak would ask for a gain that
// turns its samples infinite.
constexpr int kQuietestRaisedPeakDb = -144;

bool TooQuietToRaise(const Peak& peak) {
  const double magnitude = peak.magnitude();
  return magnitude > 0 && 20 * std::log10(magnitude) < kQuietestRaisedPeakDb;
}

class PeakGain final : public Planner {
 public:
  PeakGain(int percent, std::optional<int> threshold_db) : Planner(threshold_db), percent_(percent) {}
  Measurement measurement() const override { return Measurement::kPeak; }

 protected:
  const char* ModeName() const override { return "peak"; }
  std::string ModeMeaning() const override { return "-m " + std::to_string(percent_); }
  Decision Plan(const std::vector<MeasuredFile>& files) const override {
    std::optional<GainPlan> lowest;
    Peak loudest;
    bool changes_a_sample = false;
    for (const MeasuredFile& file : files) {
      const Peak peak = ToPeak(*file.measured.peak, file.layout.format);
      if (peak.magnitude() > loudest.magnitude()) loudest = peak;
      if (TooQuietToRaise(peak)) continue;
      const auto gain = PercentGain(percent_, peak, file.layout.format);
      if (gain && (!lowest || gain->db < lowest->db)) lowest = gain;
    }
    for (const MeasuredFile& file : files) {
      const Peak peak = ToPeak(*file.measured.peak, file.layout.format);
      if (lowest && !GainChangesNoSample(*lowest, peak, file.layout.format)) changes_a_sample = true;
    }
    Decision decision = Choose(files, lowest, loudest, changes_a_sample);
    decision.levels.sample_peak_dbfs = DecibelsOf(loudest.magnitude());
    decision.figures = FiguresText(decision.levels);
    return decision;
  }

 private:
  Decision Choose(const std::vector<MeasuredFile>& files, const std::optional<GainPlan>& gain, const Peak& loudest,
                  bool changes_a_sample) const {
    if (gain) {
      // The dither keeps each file's loudest sample where the gain puts it.
      WritePlan plan{*gain, std::nullopt, true, {}, std::nullopt};
      for (const MeasuredFile& file : files) plan.bounds.push_back(BoundsOfPeak(*file.measured.peak));
      return changes_a_sample ? Decision::Write(plan) : Decision::AlreadyRight(plan, PeakText(loudest));
    }
    if (files.size() > 1) {
      return Decision::LeaveAlone(ExitCode::kSilent, "silent or below " + std::to_string(kQuietestRaisedPeakDb) +
                                                         " dBFS; nothing to normalize, nothing written");
    }
    if (TooQuietToRaise(loudest)) {
      return Decision::LeaveAlone(ExitCode::kSilent, "peak " + PeakText(loudest) + " is below " +
                                                         std::to_string(kQuietestRaisedPeakDb) +
                                                         " dBFS, the quietest -m raises; file left untouched");
    }
    return Decision::LeaveAlone(ExitCode::kSilent, "silent; nothing to normalize, file left untouched");
  }

  int percent_;
};

}  // namespace

std::unique_ptr<Planner> PeakPlanner(int percent, std::optional<int> threshold_db) {
  return std::make_unique<PeakGain>(percent, threshold_db);
}

}  // namespace normalize
