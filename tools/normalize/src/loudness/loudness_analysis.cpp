#include "loudness/loudness_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define NORMALIZE_SSE2 1
#endif

namespace normalize {
namespace {

std::int32_t Load24(const std::byte* p) {
  const auto u = std::to_integer<std::uint32_t>(p[0]) << 8 | std::to_integer<std::uint32_t>(p[1]) << 16 |
                 std::to_integer<std::uint32_t>(p[2]) << 24;
  return static_cast<std::int32_t>(u) >> 8;
}

// Converts `frames` interleaved frames to planar floats at full scale 1, and
// gives each channel's largest magnitude.
template <typename Load>
void Deinterleave(const std::byte* data, std::size_t frames, unsigned channels, std::size_t bytes,
                  float* const* out, float* peaks, Load load) {
  for (unsigned c = 0; c < channels; ++c) {
    const std::byte* p = data + c * bytes;
    float* o = out[c];
    float peak = 0;
    for (std::size_t i = 0; i < frames; ++i, p += channels * bytes) {
      const float v = load(p);
      o[i] = v;
      peak = std::max(peak, std::fabs(v));
    }
    peaks[c] = peak;
  }
}

// 16-bit stereo, the commonest file, four frames at a time.
void DeinterleaveStereo16(const std::byte* data, std::size_t frames, float* const* out, float* peaks) {
  std::size_t i = 0;
  peaks[0] = peaks[1] = 0;
#ifdef NORMALIZE_SSE2
  const __m128 scale = _mm_set1_ps(1.0f / 32768);
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  __m128 left_peaks = _mm_setzero_ps(), right_peaks = _mm_setzero_ps();
  for (; i + 4 <= frames; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 4 * i));
    const __m128 left = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16)), scale);
    const __m128 right = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(v, 16)), scale);
    _mm_storeu_ps(out[0] + i, left);
    _mm_storeu_ps(out[1] + i, right);
    left_peaks = _mm_max_ps(left_peaks, _mm_and_ps(left, abs_mask));
    right_peaks = _mm_max_ps(right_peaks, _mm_and_ps(right, abs_mask));
  }
  float lanes[2][4];
  _mm_storeu_ps(lanes[0], left_peaks);
  _mm_storeu_ps(lanes[1], right_peaks);
  for (unsigned c = 0; c < 2; ++c) {
    peaks[c] = std::max(std::max(lanes[c][0], lanes[c][1]), std::max(lanes[c][2], lanes[c][3]));
  }
#endif
  for (; i < frames; ++i) {
    for (unsigned c = 0; c < 2; ++c) {
      std::int16_t v;
      std::memcpy(&v, data + 4 * i + 2 * c, sizeof v);
      out[c][i] = static_cast<float>(v) * (1.0f / 32768);
      peaks[c] = std::max(peaks[c], std::fabs(out[c][i]));
    }
  }
}

}  // namespace

LoudnessAnalyzer::LoudnessAnalyzer(const SampleFormat& format, double sample_rate, std::vector<double> weights,
                                   SimdLevel simd)
    : format_(format),
      loudness_(sample_rate, std::move(weights), simd),
      true_peak_(sample_rate, format.channels, simd),
      block_frames_(std::max<std::size_t>(64, kBlockSamples / format.channels)),
      planar_(format.channels, std::vector<float>(kHistory + block_frames_, 0.0f)),
      partial_(format.block_align),
      block_peaks_(format.channels, 0.0f),
      decoded_peaks_(format.channels, 0.0f) {
  for (auto& channel : planar_) {
    planar_starts_.push_back(channel.data());
    decode_targets_.push_back(nullptr);
  }
  if (std::thread::hardware_concurrency() > 1) side_ = std::make_unique<SideThread>();
}

void LoudnessAnalyzer::Add(const std::byte* data, std::size_t bytes) {
  const std::size_t frame_bytes = format_.block_align;
  if (partial_bytes_ != 0) {
    const std::size_t take = std::min(bytes, frame_bytes - partial_bytes_);
    std::memcpy(partial_.data() + partial_bytes_, data, take);
    partial_bytes_ += take;
    data += take;
    bytes -= take;
    if (partial_bytes_ < frame_bytes) return;
    DecodeFrames(partial_.data(), 1);
    partial_bytes_ = 0;
  }
  while (bytes >= frame_bytes) {
    const std::size_t frames = std::min(block_frames_ - pending_, bytes / frame_bytes);
    DecodeFrames(data, frames);
    data += frames * frame_bytes;
    bytes -= frames * frame_bytes;
  }
  std::memcpy(partial_.data(), data, bytes);
  partial_bytes_ = bytes;
}

void LoudnessAnalyzer::DecodeFrames(const std::byte* data, std::size_t frames) {
  const unsigned channels = format_.channels;
  for (unsigned c = 0; c < channels; ++c) decode_targets_[c] = planar_[c].data() + kHistory + pending_;
  float* const* targets = decode_targets_.data();
  const std::size_t bytes = format_.container_bytes;
  float* const peaks = decoded_peaks_.data();
  switch (format_.encoding) {
    case SampleEncoding::kUnsigned8:
      Deinterleave(data, frames, channels, bytes, targets, peaks, [](const std::byte* p) {
        return static_cast<float>(std::to_integer<int>(*p) - 128) * (1.0f / 128);
      });
      break;
    case SampleEncoding::kSigned16:
      if (channels == 2) {
        DeinterleaveStereo16(data, frames, targets, peaks);
        break;
      }
      Deinterleave(data, frames, channels, bytes, targets, peaks, [](const std::byte* p) {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<float>(v) * (1.0f / 32768);
      });
      break;
    case SampleEncoding::kSigned24:
      Deinterleave(data, frames, channels, bytes, targets, peaks,
                          [](const std::byte* p) { return static_cast<float>(Load24(p)) * (1.0f / 8388608); });
      break;
    case SampleEncoding::kSigned32:
      Deinterleave(data, frames, channels, bytes, targets, peaks, [](const std::byte* p) {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<float>(static_cast<double>(v) * (1.0 / 2147483648.0));
      });
      break;
    // NaN and infinities carry no loudness; they are measured as silence.
    case SampleEncoding::kFloat32:
      Deinterleave(data, frames, channels, bytes, targets, peaks, [this](const std::byte* p) {
        float v;
        std::memcpy(&v, p, sizeof v);
        if (std::isfinite(v)) return v;
        ++non_finite_;
        return 0.0f;
      });
      break;
    case SampleEncoding::kFloat64:
      Deinterleave(data, frames, channels, bytes, targets, peaks, [this](const std::byte* p) {
        double v;
        std::memcpy(&v, p, sizeof v);
        const auto f = static_cast<float>(v);
        if (std::isfinite(f)) return f;
        ++non_finite_;
        return 0.0f;
      });
      break;
  }
  for (unsigned c = 0; c < channels; ++c) {
    sample_peak_ = std::max(sample_peak_, peaks[c]);
    block_peaks_[c] = std::max(block_peaks_[c], peaks[c]);
  }
  pending_ += frames;
  if (pending_ == block_frames_) Measure();
}

void LoudnessAnalyzer::Measure() {
  const std::size_t frames = std::exchange(pending_, 0);
  if (frames == 0) return;
  const auto true_peak = [&] {
    for (unsigned c = 0; c < format_.channels; ++c) {
      // No point between these samples can beat the peak found so far when
      // their largest magnitude, times the most any phase can add up, does not.
      float largest = block_peaks_[c];
      for (std::size_t i = 0; i < kHistory; ++i) largest = std::max(largest, std::fabs(planar_[c][i]));
      if (largest * static_cast<float>(true_peak_.Gain()) > true_peak_.peaks()[c]) {
        true_peak_.Process(c, planar_[c].data(), frames);
      }
    }
  };
  if (side_) {
    side_->Start(true_peak);
    // The task reads this call's locals and the planar buffers: it has to end
    // before they go, also when the loudness filters throw (out of memory).
    try {
      loudness_.Process(planar_starts_.data(), kHistory, frames);
    } catch (...) {
      try {
        side_->Wait();
      } catch (...) {
      }
      throw;
    }
    side_->Wait();
  } else {
    true_peak();
    loudness_.Process(planar_starts_.data(), kHistory, frames);
  }
  // The newest samples become the next windows' history.
  for (auto& channel : planar_) {
    std::copy(channel.begin() + static_cast<std::ptrdiff_t>(frames),
              channel.begin() + static_cast<std::ptrdiff_t>(frames + kHistory), channel.begin());
  }
  std::fill(block_peaks_.begin(), block_peaks_.end(), 0.0f);
}

LoudnessFigures LoudnessAnalyzer::Figures(std::size_t range_step) {
  Measure();
  LoudnessFigures figures;
  figures.sample_peak = sample_peak_;
  figures.non_finite = non_finite_;
  figures.true_peak = sample_peak_;
  for (const float peak : true_peak_.peaks()) figures.true_peak = std::max<double>(figures.true_peak, peak);
  // Samples this near the end of the float range can overflow the
  // single-precision interpolation (an infinite or lost peak, and a gain of
  // zero after it); the interpolators' bound, which only errs high, stands in.
  const double bound = sample_peak_ * true_peak_.Gain();
  if (bound > std::numeric_limits<float>::max()) figures.true_peak = bound;
  figures.integrated_lufs = loudness_.IntegratedLufs();
  figures.loudness_range_lu = loudness_.LoudnessRangeLu(range_step);
  return figures;
}

}  // namespace normalize
