#include "loudness/loudness_meter.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace normalize {
namespace {

constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = -10.0;
constexpr double kRangeRelativeGateLu = -20.0;

// The power whose loudness is `lufs`.
double PowerOf(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }

double Mean(const std::vector<double>& values) {
  return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

std::vector<double> Above(const std::vector<double>& values, double threshold) {
  std::vector<double> kept;
  for (const double v : values) {
    if (v > threshold) kept.push_back(v);
  }
  return kept;
}

// Weighted mean squares of the blocks of `length` segments, one block
// starting every `step` segments (the 400 ms blocks: 4, 1; the 3 s blocks of
// the loudness range: 30, 1).
std::vector<double> Blocks(const std::vector<double>& segment_powers, std::size_t length, std::size_t step) {
  std::vector<double> blocks;
  const std::size_t n = segment_powers.size();
  for (std::size_t end = length; end <= n; end += step) {
    const double sum = std::accumulate(segment_powers.begin() + static_cast<std::ptrdiff_t>(end - length),
                                       segment_powers.begin() + static_cast<std::ptrdiff_t>(end), 0.0);
    blocks.push_back(sum / static_cast<double>(length));
  }
  return blocks;
}

// The sum and the number of the values above `threshold`, without a copy.
std::pair<double, std::size_t> SumAbove(const std::vector<double>& values, double threshold) {
  double sum = 0;
  std::size_t count = 0;
  for (const double v : values) {
    if (v > threshold) {
      sum += v;
      ++count;
    }
  }
  return {sum, count};
}

}  // namespace

double LoudnessOf(double power) { return -0.691 + 10.0 * std::log10(power); }

std::optional<double> GatedLoudness(const std::vector<double>& block_powers, double gain_db) {
  // The gates are moved against the gain instead of the blocks along with it.
  const double gain = std::pow(10.0, gain_db / 10.0);
  const double absolute_gate = PowerOf(kAbsoluteGateLufs) / gain;
  const auto [loud_sum, loud] = SumAbove(block_powers, absolute_gate);
  if (loud == 0) return std::nullopt;
  const double relative_gate =
      std::max(absolute_gate, PowerOf(LoudnessOf(loud_sum / static_cast<double>(loud)) + kRelativeGateLu));
  const auto [gated_sum, gated] = SumAbove(block_powers, relative_gate);
  if (gated == 0) return std::nullopt;
  return LoudnessOf(gain * gated_sum / static_cast<double>(gated));
}

LoudnessMeter::LoudnessMeter(double sample_rate, std::vector<double> weights, SimdLevel simd)
    : filter_(sample_rate, static_cast<unsigned>(weights.size()), simd),
      weights_(std::move(weights)),
      segment_frames_(std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(sample_rate / 10.0)))),
      squares_(weights_.size(), 0.0),
      settle_squares_(weights_.size(), 0.0) {}

void LoudnessMeter::Settle(const float* const* planar, std::size_t offset, std::size_t frames) {
  filter_.Process(planar, offset, frames, settle_squares_.data());
}

void LoudnessMeter::Process(const float* const* planar, std::size_t offset, std::size_t frames) {
  while (frames > 0) {
    if (frames_in_segment_ == 0) {
      const std::size_t done = ProcessInLanes(planar, offset, frames);
      offset += done;
      frames -= done;
      if (frames == 0) break;
    }
    const std::size_t take = std::min(frames, segment_frames_ - frames_in_segment_);
    filter_.Process(planar, offset, take, squares_.data());
    offset += take;
    frames -= take;
    frames_in_segment_ += take;
    if (frames_in_segment_ == segment_frames_) CloseSegment();
  }
}

std::size_t LoudnessMeter::ProcessInLanes(const float* const* planar, std::size_t offset, std::size_t frames) {
  if (!filter_.has_lanes()) return 0;
  // A stretch settles on the one before it, which must be at least as long;
  // two stretches side by side already gain (a file of a second has three).
  const std::size_t least = (filter_.settle_frames() + segment_frames_ - 1) / segment_frames_ * segment_frames_;
  const std::size_t lanes = std::min<std::size_t>(4, frames / least);
  if (lanes < 2) return 0;
  const std::size_t lane_frames = frames / lanes / segment_frames_ * segment_frames_;
  const std::size_t channels = weights_.size();
  const std::size_t segments = lanes * lane_frames / segment_frames_;
  lane_squares_.resize(segments * channels);
  filter_.ProcessInLanes(planar, offset, lanes, lane_frames, segment_frames_, lane_squares_.data());
  for (std::size_t j = 0; j < segments; ++j) {
    double power = 0;
    for (std::size_t c = 0; c < channels; ++c) power += weights_[c] * lane_squares_[j * channels + c];
    segment_powers_.push_back(power / static_cast<double>(segment_frames_));
  }
  return lanes * lane_frames;
}

void LoudnessMeter::CloseSegment() {
  double power = 0;
  for (std::size_t c = 0; c < weights_.size(); ++c) {
    power += weights_[c] * squares_[c];
    squares_[c] = 0;
  }
  segment_powers_.push_back(power / static_cast<double>(segment_frames_));
  frames_in_segment_ = 0;
}

std::vector<double> LoudnessMeter::BlockPowersOf(const std::vector<double>& segment_powers) {
  return Blocks(segment_powers, 4, 1);
}

std::optional<double> LoudnessMeter::LoudnessRangeOf(const std::vector<double>& segment_powers, std::size_t step) {
  const std::vector<double> loud = Above(Blocks(segment_powers, 30, step), PowerOf(kAbsoluteGateLufs));
  if (loud.empty()) return std::nullopt;
  const double relative_gate = PowerOf(LoudnessOf(Mean(loud)) + kRangeRelativeGateLu);
  std::vector<double> gated = Above(loud, relative_gate);
  if (gated.size() < 2) return std::nullopt;
  std::sort(gated.begin(), gated.end());
  const auto percentile = [&](double share) {
    return gated[static_cast<std::size_t>(std::lround(static_cast<double>(gated.size() - 1) * share))];
  };
  return LoudnessOf(percentile(0.95)) - LoudnessOf(percentile(0.10));
}

std::optional<double> LoudnessMeter::MaxLoudnessOf(const std::vector<double>& segment_powers, std::size_t segments) {
  const std::vector<double> blocks = Blocks(segment_powers, segments, 1);
  if (blocks.empty()) return std::nullopt;
  const double loudest = *std::max_element(blocks.begin(), blocks.end());
  if (!(loudest > 0)) return std::nullopt;
  return LoudnessOf(loudest);
}

}  // namespace normalize
