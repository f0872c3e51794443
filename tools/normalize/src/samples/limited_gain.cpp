#include "samples/limited_gain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "samples/frame_gain.h"
#include "samples/planar_decode.h"
#include "samples/sample_kernel.h"

namespace normalize {
namespace {

LimiterSettings OfInput(LimiterSettings settings, double gain) {
  settings.threshold /= std::fabs(gain);
  return settings;
}

}  // namespace

SampleFormat LimitedSignalFormat(const SampleFormat& format) {
  SampleFormat signal = format;
  signal.encoding = SampleEncoding::kFloat32;
  signal.container_bytes = 4;
  signal.valid_bits = 32;
  signal.block_align = 4 * format.channels;
  return signal;
}

LimitedGain::LimitedGain(const SampleFormat& format, double gain, LimiterSettings settings,
                         std::size_t block_bytes, PeakReading* keep, const PeakReading* from)
    : format_(format),
      gain_(gain),
      limiter_(format.sample_rate, format.channels, OfInput(settings, gain), keep, from),
      planes_(format.channels),
      signal_(format.channels) {
  const std::size_t most_frames = block_bytes / format.block_align + 1;
  held_.reserve(block_bytes + (limiter_.latency() + 1) * format.block_align);
  for (auto& plane : planes_) plane.resize(most_frames);
  gains_.resize(most_frames + limiter_.latency());
}

void LimitedGain::Take(const std::byte* in, std::size_t bytes) { held_.insert(held_.end(), in, in + bytes); }

// Decodes the frames taken since the last call for the limiter and gives how
// many of the held frames have their gain in gains_.
std::size_t LimitedGain::Ready(bool last) {
  const std::size_t whole = held_.size() / format_.block_align;
  const std::size_t fresh = whole - fed_frames_;
  std::vector<float*> targets;
  for (auto& plane : planes_) targets.push_back(plane.data());
  if (limiter_.reads_samples()) {
    std::vector<float> peaks(format_.channels);
    std::uint64_t non_finite = 0;
    DecodePlanar(format_, held_.data() + fed_frames_ * format_.block_align, fresh, targets.data(), peaks.data(),
                 non_finite);
  }
  const std::vector<const float*> planes(targets.begin(), targets.end());
  std::size_t ready = limiter_.Process(planes.data(), fresh, gains_.data());
  if (last) ready += limiter_.Finish(gains_.data() + ready);
  fed_frames_ = whole - ready;
  return ready;
}

std::size_t LimitedGain::GiveSignal(std::vector<float>& out, bool last) {
  const std::size_t ready = Ready(last);
  const unsigned channels = format_.channels;
  std::vector<float*> targets;
  for (auto& plane : signal_) {
    plane.resize(std::max<std::size_t>(ready, 1));
    targets.push_back(plane.data());
  }
  std::vector<float> peaks(channels);
  std::uint64_t non_finite = 0;
  DecodePlanar(format_, held_.data(), ready, targets.data(), peaks.data(), non_finite);
  out.resize(ready * channels);
  for (std::size_t f = 0; f < ready; ++f) {
    const double gain = gain_ * gains_[f];
    for (unsigned c = 0; c < channels; ++c) out[f * channels + c] = static_cast<float>(targets[c][f] * gain);
  }
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(ready * format_.block_align));
  frames_ += ready;
  if (last) held_.clear();  // a frame the data chunk's end cuts short carries no loudness
  return ready;
}

std::size_t LimitedGain::Give(std::byte* out, bool last, Dither* dither, PeakTracker& before,
                              std::uint64_t& clipped) {
  const std::size_t ready = Ready(last);
  Amplify(ready, gains_.data(), out, dither, before, clipped);
  if (!last) return ready * format_.block_align;
  // Samples of a frame cut short: the gain alone.
  const std::size_t rest = held_.size();
  std::byte* tail = out + ready * format_.block_align;
  if (dither) {
    ApplyGainDithered(format_, held_.data(), tail, rest / format_.container_bytes, gain_, *dither, before, clipped);
  } else {
    ApplyGain(format_, held_.data(), tail, rest / format_.container_bytes, gain_, before, clipped);
  }
  held_.clear();
  return ready * format_.block_align + rest;
}

// The frames at held_'s start, in runs of one gain: a stretch the limiter
// leaves alone goes through the gain pass in one call, and where the gain
// moves from frame to frame, ApplyFrameGains gives each frame the bytes one
// call at its gain would (the vector loops' set-up would be all they did).
void LimitedGain::Amplify(std::size_t frames, const double* gains, std::byte* out, Dither* dither,
                          PeakTracker& before, std::uint64_t& clipped) {
  const std::size_t block = format_.block_align;
  const auto run_end = [&](std::size_t i) {
    std::size_t end = i + 1;
    while (end < frames && gains[end] == gains[i]) ++end;
    return end;
  };
  const auto long_run = [&](std::size_t i, std::size_t end) { return (end - i) * format_.channels >= 64; };
  for (std::size_t i = 0; i < frames;) {
    std::size_t end = run_end(i);
    if (long_run(i, end)) {
      const double gain = gain_ * gains[i];
      const std::size_t samples = (end - i) * format_.channels;
      if (dither) {
        ApplyGainDithered(format_, held_.data() + i * block, out + i * block, samples, gain, *dither, before,
                          clipped);
      } else {
        ApplyGain(format_, held_.data() + i * block, out + i * block, samples, gain, before, clipped);
      }
      i = end;
      continue;
    }
    // With the short runs after it, up to the next long one.
    while (end < frames) {
      const std::size_t next = run_end(end);
      if (long_run(end, next)) break;
      end = next;
    }
    frame_gains_.resize(end - i);
    for (std::size_t f = i; f < end; ++f) frame_gains_[f - i] = gain_ * gains[f];
    ApplyFrameGains(format_, held_.data() + i * block, out + i * block, end - i, frame_gains_.data(), dither, before,
                    clipped);
    i = end;
  }
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(frames * block));
  frames_ += frames;
}

LimiterReport LimitedGain::report() const {
  return LimiterReport{limiter_.lowest_gain(), limiter_.frames_limited(), frames_};
}

}  // namespace normalize
