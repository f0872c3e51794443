// --loudness: the measured loudness (of the file, or of the album's blocks
// gated together) brought to the target with one gain, held below a
// true-peak ceiling where one is given.
#include <algorithm>
#include <cmath>

#include "job/decibels.h"
#include "job/planner.h"
#include "loudness/gain_solver.h"
#include "loudness/loudness_meter.h"

namespace normalize {
namespace {

// A file this close to its target is left as it is: a rerun over a library
// already done writes nothing.
constexpr double kAlreadyThereDb = 0.05;

const char* NoLoudnessReason(const WavLayout& layout, const LoudnessFigures& figures) {
  if (!(figures.sample_peak > 0)) return "silent";
  const std::uint64_t frames = layout.data_chunk().size / layout.format.block_align;
  if (frames * 10 < std::uint64_t{layout.format.sample_rate} * 4) return "shorter than one 400 ms block";
  return "below the -70 LUFS gate";
}

// The gain of `peak` (of a file written as `format`) that brings it to the
// ceiling. Integer files keep one step of their resolution in reserve for the
// rounding of every sample (whose error the oversampling filter can carry into
// the peaks between them); floats a millionth for the measurement's own
// single-precision rounding.
double CeilingGainDb(double ceiling_dbtp, double peak, const SampleFormat& format) {
  const double ceiling = std::pow(10.0, ceiling_dbtp / 20);
  const double reserve = format.is_float() ? ceiling * 1e-6 : std::ldexp(1.0, 1 - static_cast<int>(format.valid_bits));
  return 20 * std::log10((ceiling - reserve) / peak);
}

class LoudnessGainPlanner final : public Planner {
 public:
  LoudnessGainPlanner(double target_lufs, std::optional<double> ceiling_dbtp, std::optional<double> limit_depth_db,
                      std::optional<int> threshold_db)
      : Planner(threshold_db), target_lufs_(target_lufs), ceiling_dbtp_(ceiling_dbtp), limit_depth_db_(limit_depth_db) {}
  Measurement measurement() const override {
    return ceiling_dbtp_ ? Measurement::kLoudnessAndCeilingPeak : Measurement::kLoudness;
  }

 protected:
  const char* ModeName() const override { return "loudness"; }
  std::optional<double> TargetLufs() const override { return target_lufs_; }
  std::string ModeMeaning() const override {
    return "--loudness " + Fixed(target_lufs_, 4) + (ceiling_dbtp_ ? " --true-peak " + Fixed(*ceiling_dbtp_, 4) : "") +
           (limit_depth_db_ ? " --limit-depth " + Fixed(*limit_depth_db_, 4) : "");
  }
  Decision Plan(const std::vector<MeasuredFile>& files) const override {
    // The album's loudness gates the 400 ms blocks of all its files together
    // (none spans two files).
    std::vector<double> blocks;
    LoudnessFigures whole;
    double sample_peak = 0;
    for (const MeasuredFile& file : files) {
      const LoudnessFigures& figures = *file.measured.loudness;
      blocks.insert(blocks.end(), figures.block_powers.begin(), figures.block_powers.end());
      whole.true_peak = std::max(whole.true_peak, figures.true_peak);
      sample_peak = std::max(sample_peak, figures.sample_peak);
    }
    whole.integrated_lufs = files.size() == 1 ? files[0].measured.loudness->integrated_lufs : GatedLoudness(blocks, 0);
    Decision decision = Choose(files, blocks);
    decision.levels = {DecibelsOf(sample_peak), DecibelsOf(whole.true_peak), whole.integrated_lufs, std::nullopt, true};
    decision.figures = FiguresText(decision.levels);
    return decision;
  }

 private:
  Decision Choose(const std::vector<MeasuredFile>& files, const std::vector<double>& blocks) const {
    const std::optional<double> wanted = GainForLoudness(blocks, target_lufs_);
    if (!wanted) return NoLoudness(files);
    double db = *wanted;
    bool held = false;
    for (const MeasuredFile& file : files) {
      const double peak = file.measured.loudness->ceiling_peak;
      if (!ceiling_dbtp_ || !(peak > 0)) continue;
      const double allowed_db = CeilingGainDb(*ceiling_dbtp_, peak, file.layout.format);
      if (allowed_db < db) {
        db = allowed_db;
        held = true;
      }
    }
    // Over the ceiling needs lowering however little; anything else this
    // close is where it should be.
    const bool over_ceiling = held && db < -0.01;
    WritePlan plan{GainPlan{std::pow(10.0, db / 20), db}, std::nullopt, !held, {}, std::nullopt};
    for (const MeasuredFile& file : files) {
      plan.bounds.push_back(BoundsOfMagnitude(file.measured.loudness->sample_peak, file.layout.format));
    }
    if (std::fabs(db) <= kAlreadyThereDb && !over_ceiling) {
      return Decision::AlreadyRight(plan, Decibels(*GatedLoudness(blocks, 0), false) + " LUFS" +
                                    (held ? " (as near " + Decibels(target_lufs_, false) +
                                                " LUFS as the ceiling allows)"
                                          : ""));
    }
    if (held && limit_depth_db_) return Limited(plan, files.size(), db, *wanted);
    // A file alone is held to its target as written; an album's tracks keep
    // the one gain, however each one's rounding falls.
    if (files.size() == 1) plan.target_lufs = GatedLoudness(blocks, db);
    Decision decision = Decision::Write(plan);
    decision.result_lufs = GatedLoudness(blocks, db);
    if (held) decision.ceiling = CeilingHold{*ceiling_dbtp_, target_lufs_, *wanted, decision.result_lufs};
    return decision;
  }

  // The gain the target asks for, or as much of it as the limiter may meet:
  // its deepest cut on the loudest peak. The file alone is then solved for
  // the target as the limited result measures (see the write path).
  Decision Limited(WritePlan plan, std::size_t members, double held_db, double wanted_db) const {
    const double db = std::min(wanted_db, held_db + *limit_depth_db_);
    plan.gain = GainPlan{std::pow(10.0, db / 20), db};
    plan.may_raise = true;
    plan.limit = LimitPlan{*ceiling_dbtp_, *limit_depth_db_, held_db + *limit_depth_db_, target_lufs_};
    if (members == 1) plan.target_lufs = target_lufs_;
    Decision decision = Decision::Write(plan);
    if (db == wanted_db) decision.result_lufs = target_lufs_;
    return decision;
  }

  Decision NoLoudness(const std::vector<MeasuredFile>& files) const {
    if (files.size() > 1) {
      return Decision::LeaveAlone(ExitCode::kBelowGate,
                                  "silent or below the -70 LUFS gate; nothing to normalize, nothing written");
    }
    return Decision::LeaveAlone(ExitCode::kBelowGate,
                                std::string(NoLoudnessReason(files[0].layout, *files[0].measured.loudness)) +
                                    "; no loudness to normalize, file left untouched");
  }

  double target_lufs_;
  std::optional<double> ceiling_dbtp_;
  std::optional<double> limit_depth_db_;
};

}  // namespace

std::unique_ptr<Planner> LoudnessPlanner(double target_lufs, std::optional<double> ceiling_dbtp,
                                         std::optional<double> limit_depth_db, std::optional<int> threshold_db) {
  return std::make_unique<LoudnessGainPlanner>(target_lufs, ceiling_dbtp, limit_depth_db, threshold_db);
}

}  // namespace normalize
