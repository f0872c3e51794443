#include "report/loudness_history.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "loudness/loudness_meter.h"

namespace normalize {
namespace {

constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr double kFloorLufs = -90;
constexpr double kStepsPerLu = 40;  // 0.025 LU: far finer than a graph shows
constexpr int kLargestCode = 64 * 64 - 1;

constexpr std::size_t kMomentarySegments = 4;
constexpr std::size_t kShortTermSegments = 30;

void Append(std::string& curve, double power) {
  int code = 0;
  if (power > 0 && std::isfinite(power)) {
    const double steps = std::round((LoudnessOf(power) - kFloorLufs) * kStepsPerLu);
    code = static_cast<int>(std::clamp(steps, 1.0, static_cast<double>(kLargestCode)));
  }
  curve += kDigits[code / 64];
  curve += kDigits[code % 64];
}

// The mean power of the `window` segments ending with each one, the
// loudest of each `stride` of them; zero before the first window is full.
std::string Curve(const std::vector<double>& powers, std::size_t window, std::size_t stride) {
  std::string curve;
  for (std::size_t start = 0; start < powers.size(); start += stride) {
    double loudest = 0;
    for (std::size_t end = start; end < std::min(start + stride, powers.size()); ++end) {
      if (end + 1 < window) continue;
      double sum = 0;
      for (std::size_t i = end + 1 - window; i <= end; ++i) sum += powers[i];
      loudest = std::max(loudest, sum / static_cast<double>(window));
    }
    Append(curve, loudest);
  }
  return curve;
}

}  // namespace

LoudnessHistory HistoryOf(const std::vector<double>& segment_powers, std::size_t points) {
  const std::size_t stride = std::max<std::size_t>(1, (segment_powers.size() + points - 1) / std::max<std::size_t>(1, points));
  LoudnessHistory history;
  history.step_seconds = 0.1 * static_cast<double>(stride);
  history.short_term = Curve(segment_powers, kShortTermSegments, stride);
  history.momentary = Curve(segment_powers, kMomentarySegments, stride);
  return history;
}

std::size_t HistoryPointsFor(std::size_t files) {
  constexpr std::size_t kPageBudget = 6'000'000;  // points of all files together
  return std::clamp<std::size_t>(kPageBudget / std::max<std::size_t>(1, files), 60, 3000);
}

double DecodeHistoryPoint(const std::string& curve, std::size_t point) {
  const auto digit = [](char c) { return static_cast<int>(std::string_view(kDigits).find(c)); };
  const int code = digit(curve.at(2 * point)) * 64 + digit(curve.at(2 * point + 1));
  return code == 0 ? -std::numeric_limits<double>::infinity() : kFloorLufs + code / kStepsPerLu;
}

}  // namespace normalize
