#include "loudness/peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace normalize {
namespace {

constexpr std::size_t kHistory = CeilingPeakMeter::kHistory;
// An interval's interpolated points take the samples from kBefore before its
// start to kAfter after it.
constexpr std::int64_t kBefore = CeilingPeakMeter::kTaps / 2 - 1;
constexpr std::int64_t kAfter = CeilingPeakMeter::kTaps / 2;
// The estimates of a call's first window belong to the interval this many
// frames before the call's first new frame.
constexpr std::int64_t kLag = kAfter;

std::size_t FramesOf(double ms, double sample_rate) {
  return static_cast<std::size_t>(std::max(0.0, std::round(ms * sample_rate / 1000)));
}

}  // namespace

PeakLimiter::PeakLimiter(double sample_rate, unsigned channels, const LimiterSettings& settings)
    : channels_(channels),
      settings_(settings),
      least_gain_(std::pow(10.0, -std::max(0.0, settings.most_reduction_db) / 20)),
      release_step_(1 - std::exp(-1000 / (std::max(1e-3, settings.release_ms) * sample_rate))),
      look_(sample_rate, 1, SimdLevel::kSse2),
      history_(channels, std::vector<float>(kHistory + CeilingPeakMeter::kChunk, 0.0f)),
      estimates_(CeilingPeakMeter::kChunk),
      linked_(CeilingPeakMeter::kChunk) {
  const std::size_t attack = std::max<std::size_t>(2, FramesOf(settings.attack_ms, sample_rate));
  attack1_ = attack / 2;
  attack2_ = attack - attack1_ + 1;  // together one attack long: attack1_ + attack2_ - 1
  // A frame's gain averages the released gains of attack1_ + attack2_ - 1
  // frames up to it; each of those must be no higher than the need of any
  // interval whose interpolation reaches the frame.
  ahead_ = static_cast<std::int64_t>(attack1_ + attack2_) - 2 + kBefore;
  behind_ = kAfter + static_cast<std::int64_t>(FramesOf(settings.hold_ms, sample_rate));
  latency_ = static_cast<std::size_t>(ahead_ + kLag);
  // As much silence before the first frame as the latency, so that a peak at
  // the very start is met by a full attack.
  const std::size_t preroll = latency_;
  next_need_ = -static_cast<std::int64_t>(preroll) - kLag;
  next_frame_ = -static_cast<std::int64_t>(preroll);
  ring1_.assign(attack1_, kUnity);
  ring2_.assign(attack2_, kUnity * static_cast<std::int64_t>(attack1_));
  sum1_ = kUnity * static_cast<std::int64_t>(attack1_);
  sum2_ = sum1_ * static_cast<std::int64_t>(attack2_);
  full_ = sum2_;
  std::size_t none = 0;
  Run(nullptr, preroll, nullptr, none);
}

std::size_t PeakLimiter::Process(const float* const* planes, std::size_t frames, double* gains) {
  std::size_t produced = 0;
  Run(planes, frames, gains, produced);
  return produced;
}

std::size_t PeakLimiter::Finish(double* gains) {
  std::size_t produced = 0;
  Run(nullptr, latency_, gains, produced);
  return produced;
}

void PeakLimiter::Run(const float* const* planes, std::size_t frames, double* gains, std::size_t& produced) {
  for (std::size_t done = 0; done < frames;) {
    const std::size_t n = std::min(CeilingPeakMeter::kChunk, frames - done);
    for (unsigned c = 0; c < channels_; ++c) {
      float* new_samples = history_[c].data() + kHistory;
      if (planes) {
        std::copy(planes[c] + done, planes[c] + done + n, new_samples);
      } else {
        std::fill(new_samples, new_samples + n, 0.0f);
      }
    }
    Detect(n);
    for (std::size_t i = 0; i < n; ++i) {
      const double peak = linked_[i];
      Needed(peak > settings_.threshold ? std::max(settings_.threshold / peak, least_gain_) : 1.0);
      if (next_need_ - 1 - ahead_ >= next_frame_) Emit(gains, produced);
    }
    done += n;
  }
}

void PeakLimiter::Detect(std::size_t frames) {
  std::fill(linked_.begin(), linked_.begin() + static_cast<std::ptrdiff_t>(frames), 0.0f);
  for (unsigned c = 0; c < channels_; ++c) {
    float* h = history_[c].data();
    look_.Estimates(h, frames, estimates_.data());
    for (std::size_t i = 0; i < frames; ++i) linked_[i] = std::max(linked_[i], estimates_[i]);
    std::copy(h + frames, h + frames + kHistory, h);
  }
}

void PeakLimiter::Needed(double need) {
  while (!least_.empty() && least_.back().second >= need) least_.pop_back();
  least_.emplace_back(next_need_++, need);
}

void PeakLimiter::Emit(double* gains, std::size_t& produced) {
  const std::int64_t frame = next_frame_++;
  while (least_.front().first < frame - behind_) least_.pop_front();
  released_ = std::min(least_.front().second, released_ + (1 - released_) * release_step_);
  // Rounded down, so that no average rises above what any of its terms needs.
  const auto step = static_cast<std::int64_t>(std::floor(released_ * static_cast<double>(kUnity)));
  sum1_ += step - ring1_[at1_];
  ring1_[at1_] = step;
  at1_ = at1_ + 1 == attack1_ ? 0 : at1_ + 1;
  sum2_ += sum1_ - ring2_[at2_];
  ring2_[at2_] = sum1_;
  at2_ = at2_ + 1 == attack2_ ? 0 : at2_ + 1;

  if (frame < 0) return;  // the silence before the first
  // Exactly 1 where every term is.
  const double gain = static_cast<double>(sum2_) / static_cast<double>(full_);
  if (gain < 1) {
    lowest_gain_ = std::min(lowest_gain_, gain);
    ++frames_limited_;
  }
  gains[produced++] = gain;
}

}  // namespace normalize
