#include "samples/crest_look.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace normalize {
namespace {

// The grid the search starts from: eighths of a sample, from half a sample
// before the crest's interval to half a sample after it.
constexpr int kFirstStep = -4, kLastStep = 12;

// The outer samples fade out over an eighth of the reach, so that where the
// sinc is cut off leaves no step.
double Fade(std::size_t k, std::size_t reach) {
  const std::size_t edge = std::min(k, 2 * reach - 1 - k), length = reach / 8;
  return edge >= length ? 1 : 0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(edge) + 0.5) / length);
}

// Eight sums side by side, so that none waits on the one before.
double Dot(const double* w, const float* x, std::size_t count) {
  double sums[8] = {};
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    for (std::size_t j = 0; j < 8; ++j) sums[j] += w[k + j] * x[k + j];
  }
  for (; k < count; ++k) sums[0] += w[k] * x[k];
  return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

// Each grid point's weights for the samples around[0, 2 reach): computed once.
class GridWeights {
 public:
  explicit GridWeights(std::size_t reach) {
    for (int step = kFirstStep; step <= kLastStep; ++step) {
      std::vector<double> w(2 * reach, 0.0);
      const double t = step / 8.0, sine = std::sin(std::numbers::pi * t) / std::numbers::pi;
      for (std::size_t k = 0; k < w.size(); ++k) {
        // sin(pi d) is sin(pi t), its sign alternating with k.
        const double d = t + static_cast<double>(reach) - static_cast<double>(k);
        w[k] = d == 0 ? 1 : step % 8 == 0 ? 0 : Fade(k, reach) * ((reach - k) % 2 ? -sine : sine) / d;
      }
      weights_.push_back(std::move(w));
    }
  }
  static const GridWeights& For(std::size_t reach) {
    static const GridWeights first(kFirstReach), close(kCrestReach);
    return reach == kFirstReach ? first : close;
  }
  // The grid point with the largest magnitude: its time and that magnitude.
  std::pair<double, double> Largest(const float* around) const {
    std::pair<double, double> best{0, 0};
    for (std::size_t j = 0; j < weights_.size(); ++j) {
      const std::vector<double>& w = weights_[j];
      const double sum = Dot(w.data(), around, w.size());
      if (std::fabs(sum) > best.second) best = {(kFirstStep + static_cast<int>(j)) / 8.0, std::fabs(sum)};
    }
    return best;
  }

 private:
  std::vector<std::vector<double>> weights_;
};

// The reconstruction at `t` samples after around[reach]: sin(pi t) / pi
// times the sum of each (faded) sample, its sign alternated, over its distance.
double ValueAt(const std::vector<double>& alternated, std::size_t reach, double t) {
  const double whole = std::floor(t);
  if (t == whole) {
    const auto k = static_cast<std::ptrdiff_t>(reach) + static_cast<std::ptrdiff_t>(whole);
    return alternated[static_cast<std::size_t>(k)] * (static_cast<long>(whole) % 2 != 0 ? -1 : 1);
  }
  double sum = 0;
  const double at = static_cast<double>(reach) + t;
  for (std::size_t k = 0; k < alternated.size(); ++k) sum += alternated[k] / (at - static_cast<double>(k));
  return std::sin(std::numbers::pi * t) / std::numbers::pi * sum;
}

}  // namespace

double GridPeak(const float* around, std::size_t reach) { return GridWeights::For(reach).Largest(around).second; }

double CrestPeak(const float* around, std::size_t reach) {
  const auto [best_t, best] = GridWeights::For(reach).Largest(around);
  std::vector<double> alternated(2 * reach);
  for (std::size_t k = 0; k < alternated.size(); ++k) {
    alternated[k] = ((reach - k) % 2 ? -1.0 : 1.0) * Fade(k, reach) * around[k];
  }
  // A parabola through the grid's largest point and two closer on either
  // side, its vertex looked at too: near Nyquist a sixteenth of a sample is
  // a fifth of a radian, where the parabola errs by about a millionth.
  const auto magnitude = [&](double t) { return std::fabs(ValueAt(alternated, reach, t)); };
  constexpr double kStep = 1.0 / 16;
  const double left = magnitude(best_t - kStep), right = magnitude(best_t + kStep);
  double peak = std::max({best, left, right});
  const double curve = left - 2 * best + right;
  if (curve < 0) {
    const double offset = std::clamp(0.5 * (left - right) / curve, -1.0, 1.0) * kStep;
    peak = std::max(peak, magnitude(best_t + offset));
  }
  return peak;
}

double LookAtCrests(std::vector<Crest> crests, const CrestSamples& samples) {
  std::sort(crests.begin(), crests.end(), [](const Crest& a, const Crest& b) {
    return a.estimate != b.estimate ? a.estimate > b.estimate
                                    : a.frame != b.frame ? a.frame < b.frame : a.channel < b.channel;
  });
  crests.erase(std::unique(crests.begin(), crests.end(),
                           [](const Crest& a, const Crest& b) { return a.frame == b.frame && a.channel == b.channel; }),
               crests.end());
  if (crests.size() > CeilingPeakMeter::kKept) crests.resize(CeilingPeakMeter::kKept);
  std::vector<float> around(2 * kCrestReach);
  const auto fetch = [&](const Crest& crest, std::size_t reach) {
    samples(crest.channel, crest.frame - static_cast<std::int64_t>(reach), 2 * reach, around.data());
    return around.data();
  };
  // The short estimate ranks crests of content near Nyquist up to ~1 dB out
  // of order; the first look's grid, to within a few tenths at most.
  std::vector<std::pair<double, Crest>> first;
  for (const Crest& crest : crests) first.emplace_back(GridPeak(fetch(crest, kFirstReach), kFirstReach), crest);
  std::sort(first.begin(), first.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  double peak = 0;
  for (std::size_t i = 0; i < first.size() && i < kCrestsLooked; ++i) {
    peak = std::max(peak, CrestPeak(fetch(first[i].second, kCrestReach), kCrestReach));
  }
  return peak;
}

}  // namespace normalize
