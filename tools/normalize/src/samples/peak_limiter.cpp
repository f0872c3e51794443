#include "samples/peak_limiter.h"

#include <algorithm>
#include <cmath>

#include "samples/crest_look.h"
#include "samples/true_peak.h"

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
// The short look reads the windows in pieces of this many, each left
// unread where its samples cannot reach the close look's bar.
constexpr std::size_t kPiece = 256;
// A frame counts as limited where its gain is below this (0.1 dB down): the
// release's last hundredths of a dB are no limiting anyone hears.
const double kLimitedBelow = std::pow(10.0, -0.1 / 20);

std::size_t FramesOf(double ms, double sample_rate) {
  return static_cast<std::size_t>(std::max(0.0, std::round(ms * sample_rate / 1000)));
}

}  // namespace

double PeakLimiter::NearOf(double threshold) { return threshold * std::pow(10.0, -kNearDb / 20); }

PeakLimiter::PeakLimiter(double sample_rate, unsigned channels, const LimiterSettings& settings, PeakReading* keep,
                         const PeakReading* from)
    : channels_(channels),
      settings_(settings),
      least_gain_(std::pow(10.0, -std::max(0.0, settings.most_reduction_db) / 20)),
      release_step_(1 - std::exp(-1000 / (std::max(1e-3, settings.release_ms) * sample_rate))),
      near_(NearOf(settings.threshold)),
      look_(sample_rate, 1, SimdLevel::kSse2),
      // Rounded up, so that the skip errs towards reading.
      reach_gain_(static_cast<float>(look_.Gain() * (1 + 1e-5))),
      recent_(channels, std::vector<float>(kReach + kHistory, 0.0f)),
      short_(channels),
      estimates_(CeilingPeakMeter::kChunk),
      keep_(keep),
      from_(from && from->complete && near_ >= from->floor ? from : nullptr),
      bar_(keep ? std::min(near_, keep->floor) : near_) {
  if (from_) keep_ = nullptr;
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
  // The needs of a frame's window and of those waiting for its gain.
  std::size_t ring = 1;
  while (ring < static_cast<std::size_t>(ahead_ + behind_) + 4) ring *= 2;
  least_.resize(ring);
  least_mask_ = ring - 1;
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
  if (keep_) keep_->complete = true;
  return produced;
}

void PeakLimiter::Run(const float* const* planes, std::size_t frames, double* gains, std::size_t& produced) {
  if (from_) {
    // The needs are known: each waits only as long as when they are read.
    given_ += static_cast<std::int64_t>(frames);
    const PeakReading::Kept* const kept = from_->kept.data();
    const std::size_t count = from_->kept.size();
    Shape(
        given_ - kReach + 1,
        [&](std::int64_t interval) {
          // Most intervals were not kept: nothing to limit there.
          if (from_at_ == count || kept[from_at_].interval != interval) return 1.0;
          return NeedAt(KeptPeak(interval));
        },
        gains, produced);
    return;
  }
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
      EstimatesNear(recent.data() + first, n, estimates_.data());
      short_[c].insert(short_[c].end(), estimates_.begin(), estimates_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    given_ += static_cast<std::int64_t>(n);
    done += n;
    // An interval's need waits for its neighbour's estimate and the close look's reach.
    const std::int64_t estimated = short_first_ + static_cast<std::int64_t>(short_[0].size());
    Shape(std::min(given_ - kReach + 1, estimated - 1), [this](std::int64_t interval) { return NeedOf(interval); },
          gains, produced);
    Forget();
  }
}

// A piece of windows whose samples cannot reach near_ gets zeros: NeedOf
// leaves such an interval alone whatever it reads, and a zero beside a crest
// over near_ makes that crest no less a local maximum. On most material only
// the loud passages are read.
void PeakLimiter::EstimatesNear(const float* samples, std::size_t n, float* out) {
  for (std::size_t at = 0; at < n; at += kPiece) {
    const std::size_t count = std::min(kPiece, n - at);
    if (LargestMagnitude(samples + at, count + kHistory) * reach_gain_ > bar_) {
      look_.Estimates(samples + at, count, out + at);
    } else {
      std::fill(out + at, out + at + count, 0.0f);
    }
  }
}

double PeakLimiter::NeedOf(std::int64_t interval) {
  const auto at = static_cast<std::size_t>(interval - short_first_);
  float linked = 0, next = 0;
  for (unsigned c = 0; c < channels_; ++c) {
    linked = std::max(linked, short_[c][at]);
    next = std::max(next, short_[c][at + 1]);
  }
  const bool local_max = linked >= last_linked_ && linked >= next;
  last_linked_ = linked;
  if (keep_ && linked > keep_->floor) return NeedAt(Keep(interval, linked, local_max));
  double peak = linked;
  if (linked > near_ && local_max) {
    for (unsigned c = 0; c < channels_; ++c) {
      if (!(short_[c][at] > near_)) continue;
      const float* around = recent_[c].data() + (interval - kReach - recent_first_);
      peak = std::max(peak, CrestPeak(around, kReach));
    }
  }
  return NeedAt(peak);
}

double PeakLimiter::NeedAt(double peak) const {
  return peak > settings_.threshold ? std::max(settings_.threshold / peak, least_gain_) : 1.0;
}

// Keeps an interval over the reading's floor, its channels looked at closely
// where it is a local maximum; gives its peak as this limiter reads it.
double PeakLimiter::Keep(std::int64_t interval, float linked, bool local_max) {
  PeakReading& reading = *keep_;
  std::int32_t crests = -1;
  if (local_max) {
    crests = static_cast<std::int32_t>(reading.crests.size());
    const auto at = static_cast<std::size_t>(interval - short_first_);
    for (unsigned c = 0; c < channels_; ++c) {
      const float* around = recent_[c].data() + (interval - kReach - recent_first_);
      reading.crests.push_back(short_[c][at]);
      reading.crests.push_back(short_[c][at] > reading.floor ? CrestPeak(around, kReach) : 0.0);
    }
  }
  reading.kept.push_back(PeakReading::Kept{interval, linked, crests});
  const double peak = KeptPeak(interval);
  if (reading.kept.size() > PeakReading::kMostKept) {
    // Too much to keep: the passes after this one read for themselves.
    reading = PeakReading{};
    keep_ = nullptr;
    bar_ = near_;
  }
  return peak;
}

// The peak of an interval as a limiter with bar near_ reads it, from what
// was kept (the close look's pairs wherever it reads one closely).
double PeakLimiter::KeptPeak(std::int64_t interval) {
  const PeakReading& reading = from_ ? *from_ : *keep_;
  while (from_at_ < reading.kept.size() && reading.kept[from_at_].interval < interval) ++from_at_;
  if (from_at_ == reading.kept.size() || reading.kept[from_at_].interval != interval) return 0;
  const PeakReading::Kept& kept = reading.kept[from_at_++];  // each interval is asked for once
  double peak = kept.linked;
  if (kept.crests < 0 || !(kept.linked > near_)) return peak;
  for (unsigned c = 0; c < channels_; ++c) {
    const double* pair = reading.crests.data() + kept.crests + 2 * c;
    if (pair[0] > near_) peak = std::max(peak, pair[1]);
  }
  return peak;
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

// Takes the needs of the intervals before `end` in order, each into the
// window of needs, and gives the gain of every frame whose window is whole:
// the least need in its window, released, then the two averages. The state
// runs in locals, so that the loop keeps it in registers.
template <typename NeedOfInterval>
void PeakLimiter::Shape(std::int64_t end, NeedOfInterval need_of, double* gains, std::size_t& produced) {
  std::int64_t interval = next_need_, frame = next_frame_, sum1 = sum1_, sum2 = sum2_;
  std::size_t first = least_first_, last = least_end_, at1 = at1_, at2 = at2_, out = produced;
  double released = released_, lowest = lowest_gain_;
  std::uint64_t limited = frames_limited_;
  std::pair<std::int64_t, double>* const least = least_.data();
  std::int64_t* const ring1 = ring1_.data();
  std::int64_t* const ring2 = ring2_.data();
  // The settings too, as locals: the gains written cannot be taken to change them.
  const double full = static_cast<double>(full_), release_step = release_step_, limited_below = kLimitedBelow;
  const std::int64_t ahead = ahead_, behind = behind_;
  const std::size_t mask = least_mask_, attack1 = attack1_, attack2 = attack2_;
  for (; interval < end; ++interval) {
    // Rising needs: a need hides every one before it that is no lower.
    const double need = need_of(interval);
    while (last != first && least[(last - 1) & mask].second >= need) --last;
    least[last++ & mask] = {interval, need};
    if (interval - ahead < frame) continue;
    while (least[first & mask].first < frame - behind) ++first;
    released = std::min(least[first & mask].second, released + (1 - released) * release_step);
    // Rounded down (the gain is never negative), so that no average rises
    // above what any of its terms needs.
    const auto step = static_cast<std::int64_t>(released * static_cast<double>(kUnity));
    sum1 += step - ring1[at1];
    ring1[at1] = step;
    at1 = at1 + 1 == attack1 ? 0 : at1 + 1;
    sum2 += sum1 - ring2[at2];
    ring2[at2] = sum1;
    at2 = at2 + 1 == attack2 ? 0 : at2 + 1;
    if (frame++ < 0) continue;  // the silence before the first
    // Exactly 1 where every term is.
    const double gain = static_cast<double>(sum2) / full;
    lowest = std::min(lowest, gain);
    limited += gain < limited_below;
    gains[out++] = gain;
  }
  next_need_ = interval, next_frame_ = frame, sum1_ = sum1, sum2_ = sum2;
  least_first_ = first, least_end_ = last, at1_ = at1, at2_ = at2, produced = out;
  released_ = released, lowest_gain_ = lowest, frames_limited_ = limited;
}

}  // namespace normalize
