#include "job/written_loudness.h"

#include <cmath>

#include "failure.h"
#include "job/decibels.h"

namespace normalize {
namespace {

// A written loudness this near the target is left as it is, and one within
// the promise's 0.1 LU is kept where no better one is found.
constexpr double kCloseEnoughLu = 0.02;
constexpr double kPromiseLu = 0.1;

double Power(double lufs) { return std::pow(10.0, lufs / 10); }

}  // namespace

std::optional<double> WrittenLoudness::Next(double factor, std::optional<double> written_lufs) {
  measured_ = true;
  last_lufs_ = written_lufs;
  if (!written_lufs) return std::nullopt;
  const double miss = *written_lufs - target_lufs_;
  const bool allowed = may_raise_ || miss <= kPromiseLu;
  if (allowed && (!nearest_ || std::fabs(miss) < std::fabs(nearest_->second - target_lufs_))) {
    nearest_ = std::pair{factor, *written_lufs};
  }
  if (std::fabs(miss) <= kCloseEnoughLu || (!may_raise_ && miss < 0)) return std::nullopt;
  auto& side = miss < 0 ? below_ : above_;
  if (!side || std::fabs(*written_lufs - target_lufs_) < std::fabs(side->second - target_lufs_)) {
    side = std::pair{std::fabs(factor), *written_lufs};
  }
  tried_.emplace_back(factor * factor, Power(*written_lufs));
  const double wanted = Power(target_lufs_);
  double squared = tried_.back().first * wanted / tried_.back().second;  // as if all of it scaled
  if (tried_.size() >= 2 && tried_.end()[-2].first != tried_.back().first) {
    const auto [g0, p0] = tried_[tried_.size() - 2];
    const auto [g1, p1] = tried_.back();
    const double signal = (p1 - p0) / (g1 - g0);
    const double noise = p0 - g0 * signal;
    if (signal > 0 && noise > 0) {
      noise_lufs_ = 10 * std::log10(noise);
      if (wanted <= noise) return std::nullopt;  // below the noise alone
      squared = (wanted - noise) / signal;
    }
  }
  if (!(squared > 0) || !std::isfinite(squared)) return std::nullopt;
  double next = std::sqrt(squared);
  // Between two tries on either side, the steps may jump: halve the bracket.
  if (below_ && above_ && !(next > below_->first && next < above_->first)) next = std::sqrt(below_->first * above_->first);
  if (next == std::fabs(factor)) return std::nullopt;
  return !may_raise_ && next > std::fabs(factor) ? std::nullopt : std::optional<double>(std::copysign(next, factor));
}

void WrittenLoudness::CheckMet(const SampleFormat& format) const {
  if (!measured_) return;
  if (last_lufs_ && (*last_lufs_ - target_lufs_ <= kPromiseLu) &&
      (!may_raise_ || *last_lufs_ - target_lufs_ >= -kPromiseLu)) {
    return;
  }
  const std::string target = Decibels(target_lufs_, false) + " LUFS";
  std::string said = "the loudness " + target + " is beyond what " + Describe(format) + " holds for this file: ";
  if (below_ && above_) {
    said += "written at its steps it would measure " + Decibels(below_->second, false) + " or " +
            Decibels(above_->second, false) + " LUFS at the nearest, its steps between";
  } else if (below_ || above_) {
    said += "written at its steps it would measure " + Decibels((below_ ? below_ : above_)->second, false) +
            " LUFS at the nearest";
  } else {
    said += "written at its steps it would be silent or below the -70 LUFS gate";
  }
  if (noise_lufs_ && !(below_ && above_)) said += " (the noise of the rounding and the dither alone measures " + Decibels(*noise_lufs_, false) + " LUFS)";
  throw Failure(ExitCode::kBeyondFormat, said + "; file left untouched");
}

}  // namespace normalize
