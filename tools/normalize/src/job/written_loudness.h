#pragma once
// Holds a file as written (rounded to its steps, dithered) to a loudness. The
// noise of the rounding and the dither does not scale with the gain, so the
// power written is taken as g^2 S + N, both found from what the result
// measured at the gains tried; a target that no gain reaches within 0.1 LU
// is refused, with the level the file reaches.
#include <optional>
#include <utility>
#include <vector>

#include "wav/wav_format.h"

namespace normalize {

class WrittenLoudness {
 public:
  // `may_raise` false: the gain is only lowered (a true-peak ceiling holds it).
  WrittenLoudness(double target_lufs, bool may_raise) : target_lufs_(target_lufs), may_raise_(may_raise) {}

  // What the file as written at `factor` measured (nothing: silent or below
  // the gate). Returns the next factor to try, or nothing where there is no
  // better one to try (met, or beyond reach).
  std::optional<double> Next(double factor, std::optional<double> written_lufs);

  // The factor of the try nearest the target so far.
  std::optional<double> Nearest() const { return nearest_ ? std::optional<double>(nearest_->first) : std::nullopt; }

  // Throws Failure (the format cannot hold the target) unless the last
  // result measured is within 0.1 LU of the target, or lower than it where
  // the gain may only be lowered.
  void CheckMet(const SampleFormat& format) const;

 private:
  double target_lufs_;
  bool may_raise_;
  std::vector<std::pair<double, double>> tried_;  // (factor^2, power) of each result measured
  std::optional<double> last_lufs_;
  // The nearest tries below and above the target: (factor, loudness). Where
  // the steps make the loudness jump across the target, these are its sides.
  std::optional<std::pair<double, double>> below_, above_;
  std::optional<std::pair<double, double>> nearest_;  // (signed factor, loudness)
  std::optional<double> noise_lufs_;  // where the model found the noise's own loudness
  bool measured_ = false;
};

}  // namespace normalize
