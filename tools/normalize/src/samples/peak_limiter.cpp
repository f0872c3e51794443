#include "samples/peak_limiter.h"

#include <algorithm>
#include <cmath>

#include "samples/crest_look.h"

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
// The short look reads the crests of content near Nyquist up to about a dB
// low: a crest it reads within this of the threshold is looked at closely,
// with a sinc reaching kReach samples to either side.
constexpr double kNearDb = 3;
constexpr std::int64_t kReach = kFirstReach;
// A frame counts as limited where its gain is below this (0.1 dB down): the
// release's last hundredths of a dB are no limiting anyone hears.
const double kLimitedBelow = std::pow(10.0, -0.1 / 20);

std::size_t FramesOf(double ms, double sample_rate) {
  return static_cast<std::size_t>(std::max(0.0, std::round(ms * sample_rate / 1000)));
}

}  // namespace

PeakLimiter::PeakLimiter(double sample_rate, unsigned channels, const LimiterSettings& settings)
    : channels_(channels),
      settings_(settings),
      least_gain_(std::pow(10.0, -std::max(0.0, settings.most_reduction_db) / 20)),
      release_step_(1 - std::exp(-1000 / (std::max(1e-3, settings.release_ms) * sample_rate))),
      near_(settings.threshold * std::pow(10.0, -kNearDb / 20)),
      look_(sample_rate, 1, SimdLevel::kSse2),
      recent_(channels, std::vector<float>(kReach + kHistory, 0.0f)),
      short_(channels),
      estimates_(CeilingPeakMeter::kChunk) {
  const std::size_t attack = std::max<std::size_t>(2, FramesOf(settings.attack_ms, sample_rate));
  attack1_ = attack / 2;
  attack2_ = attack - attack1_ + 1;  // together one attack long: attack1_ + attack2_ - 1
  // A frame's gain averages the released gains of attack1_ + attack2_ - 1
  // frames up to it; each of those must be no higher than the need of any
  // interval whose interpolation reaches the frame.
  ahead_ = static_cast<std::int64_t>(attack1_ + attack2_) - 2 + kBefore;
  behind_ = kAfter + static_cast<std::int64_t>(FramesOf(settings.hold_ms, sample_rate));
  latency_ = static_cast<std::size_t>(ahead_ + kReach - 1);
  // As much silence before the first frame as the latency, so that a peak at
  // the very start is met by a full attack.
  const auto preroll = static_cast<std::int64_t>(latency_);
  given_ = -preroll;
  recent_first_ = given_ - kReach - static_cast<std::int64_t>(kHistory);
  short_first_ = next_need_ = given_ - kLag;
  next_frame_ = -preroll;
  ring1_.assign(attack1_, kUnity);
  ring2_.assign(attack2_, kUnity * static_cast<std::int64_t>(attack1_));
  sum1_ = kUnity * static_cast<std::int64_t>(attack1_);
  sum2_ = sum1_ * static_cast<std::int64_t>(attack2_);
  full_ = sum2_;
  std::size_t none = 0;
  Run(nullptr, latency_, nullptr, none);
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
      std::vector<float>& recent = recent_[c];
      if (planes) {
        recent.insert(recent.end(), planes[c] + done, planes[c] + done + n);
      } else {
        recent.resize(recent.size() + n, 0.0f);
      }
      // The windows from kHistory samples before the new ones.
      const auto first = static_cast<std::size_t>(given_ - recent_first_) - kHistory;
      look_.Estimates(recent.data() + first, n, estimates_.data());
      short_[c].insert(short_[c].end(), estimates_.begin(), estimates_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    given_ += static_cast<std::int64_t>(n);
    done += n;
    // An interval's need waits for its neighbour's estimate and the close look's reach.
    const std::int64_t estimated = short_first_ + static_cast<std::int64_t>(short_[0].size());
    while (next_need_ + kReach <= given_ && next_need_ + 1 < estimated) {
      Needed(NeedOf(next_need_));
      if (next_need_ - 1 - ahead_ >= next_frame_) Emit(gains, produced);
    }
    Forget();
  }
}

double PeakLimiter::NeedOf(std::int64_t interval) {
  const auto at = static_cast<std::size_t>(interval - short_first_);
  float linked = 0, next = 0;
  for (unsigned c = 0; c < channels_; ++c) {
    linked = std::max(linked, short_[c][at]);
    next = std::max(next, short_[c][at + 1]);
  }
  double peak = linked;
  if (linked > near_ && linked >= last_linked_ && linked >= next) {
    for (unsigned c = 0; c < channels_; ++c) {
      if (!(short_[c][at] > near_)) continue;
      const float* around = recent_[c].data() + (interval - kReach - recent_first_);
      peak = std::max(peak, CrestPeak(around, kReach));
    }
  }
  last_linked_ = linked;
  return peak > settings_.threshold ? std::max(settings_.threshold / peak, least_gain_) : 1.0;
}

// Drops the samples and estimates no look needs any more, now and then.
void PeakLimiter::Forget() {
  const std::int64_t keep_from = std::min(given_ - static_cast<std::int64_t>(kHistory), next_need_ - kReach);
  const auto samples = static_cast<std::size_t>(keep_from - recent_first_);
  if (samples >= CeilingPeakMeter::kChunk) {
    for (auto& recent : recent_) recent.erase(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(samples));
    recent_first_ = keep_from;
  }
  const auto estimates = static_cast<std::size_t>(next_need_ - short_first_);
  if (estimates >= CeilingPeakMeter::kChunk) {
    for (auto& e : short_) e.erase(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(estimates));
    short_first_ = next_need_;
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
  lowest_gain_ = std::min(lowest_gain_, gain);
  if (gain < kLimitedBelow) ++frames_limited_;
  gains[produced++] = gain;
}

}  // namespace normalize
