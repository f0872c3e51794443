#include "loudness/loudness_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

#include "samples/planar_decode.h"

namespace normalize {

LoudnessAnalyzer::LoudnessAnalyzer(const SampleFormat& format, double sample_rate, std::vector<double> weights,
                                   SimdLevel simd, bool ceiling_peak, AnalyzedPart part)
    : format_(format),
      loudness_(sample_rate, std::move(weights), simd),
      true_peak_(sample_rate, format.channels, simd),
      ceiling_(ceiling_peak ? std::optional<CeilingPeakMeter>(
                                  std::in_place, sample_rate, format.channels, simd)
                            : std::nullopt),
      block_frames_(static_cast<std::size_t>(std::max<std::uint64_t>(
          64, std::min<std::uint64_t>(kBlockSamples / format.channels, part.settle_frames + part.frames)))),
      piece_frames_((std::max<std::size_t>(64, kPieceSamples / format.channels) + kStretch - 1) / kStretch * kStretch),
      samples_(format.channels * (kHistory + block_frames_)),
      partial_(format.block_align),
      decoded_peaks_(format.channels, 0.0f),
      stretch_peaks_(format.channels, std::vector<float>((block_frames_ + kStretch - 1) / kStretch, 0.0f)),
      reach_(stretch_peaks_[0].size()),
      part_(part),
      settle_left_(part.settle_frames),
      next_frame_(part.first_frame - static_cast<std::int64_t>(part.settle_frames)) {
  for (unsigned c = 0; c < format.channels; ++c) {
    float* const channel = samples_.data() + c * (kHistory + block_frames_);
    std::fill(channel, channel + kHistory, 0.0f);  // the silence before the file
    planar_.push_back(channel);
    decode_targets_.push_back(nullptr);
  }
  shared_true_peak_ = ceiling_ && ceiling_->factor() == true_peak_.factor();
  if (part.side_thread && std::thread::hardware_concurrency() > 1) side_ = std::make_unique<SideThread>();
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
    std::size_t frames = std::min(block_frames_ - pending_, bytes / frame_bytes);
    if (settle_left_ != 0) frames = std::min(frames, settle_left_);
    DecodeFrames(data, frames);
    data += frames * frame_bytes;
    bytes -= frames * frame_bytes;
  }
  std::memcpy(partial_.data(), data, bytes);
  partial_bytes_ = bytes;
}

void LoudnessAnalyzer::DecodeFrames(const std::byte* data, std::size_t frames) {
  const unsigned channels = format_.channels;
  float* const peaks = decoded_peaks_.data();
  // A stretch at a time, so that the peaks' skips know each one's largest.
  for (std::size_t done = 0; done < frames;) {
    const std::size_t stretch = pending_ / kStretch;
    const std::size_t take = std::min(frames - done, (stretch + 1) * kStretch - pending_);
    for (unsigned c = 0; c < channels; ++c) decode_targets_[c] = planar_[c] + kHistory + pending_;
    DecodePlanar(format_, data + done * format_.block_align, take, decode_targets_.data(), peaks, non_finite_);
    for (unsigned c = 0; c < channels; ++c) {
      sample_peak_ = std::max(sample_peak_, peaks[c]);
      stretch_peaks_[c][stretch] = std::max(stretch_peaks_[c][stretch], peaks[c]);
    }
    pending_ += take;
    done += take;
  }
  if (settle_left_ != 0) {
    settle_left_ -= frames;
    if (settle_left_ == 0) Settle();
    return;
  }
  if (pending_ == block_frames_) Measure();
}

// The settling frames end a block of their own: the filters run over them
// measuring nothing. Their samples count towards the sample peak, but no
// interpolation is looked at: the part before measures them, and here the
// history before them is silence the file does not have, whose step into
// the samples would ring as a peak that is not there.
void LoudnessAnalyzer::Settle() {
  const std::size_t frames = pending_;
  loudness_.Settle(planar_.data(), kHistory, frames);
  pending_ = 0;
  next_frame_ += static_cast<std::int64_t>(frames);
  KeepHistory(frames);
  settled_non_finite_ = non_finite_;
}

void LoudnessAnalyzer::Measure() {
  const std::size_t frames = std::exchange(pending_, 0);
  if (frames == 0) return;
  const auto true_peak = [this, frames] { MeasureTruePeak(frames); };
  const auto ceiling = [this, frames] { MeasureCeiling(frames); };
  if (side_) {
    // The ceiling's peak, where asked for, costs more than the loudness
    // filters: the second thread takes it alone.
    if (ceiling_) {
      side_->Start(ceiling);
    } else {
      side_->Start(true_peak);
    }
    // The task reads this call's locals and the planar buffers: it has to end
    // before they go, also when the loudness filters throw (out of memory).
    try {
      loudness_.Process(planar_.data(), kHistory, frames);
      if (ceiling_) true_peak();
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
    ceiling();
    loudness_.Process(planar_.data(), kHistory, frames);
  }
  KeepHistory(frames);
  next_frame_ += static_cast<std::int64_t>(frames);
}

// The newest samples become the next windows' history.
void LoudnessAnalyzer::KeepHistory(std::size_t frames) {
  for (unsigned c = 0; c < format_.channels; ++c) {
    float* const channel = planar_[c];
    std::copy(channel + frames, channel + frames + kHistory, channel);
    std::fill(stretch_peaks_[c].begin(), stretch_peaks_[c].end(), 0.0f);
  }
}

// Per stretch of channel `c`'s pending frames, the largest magnitude its
// windows read: its own samples' and the kHistory before them.
const float* LoudnessAnalyzer::ReachOf(unsigned c, std::size_t frames) {
  const std::vector<float>& peaks = stretch_peaks_[c];
  for (std::size_t j = 0; j * kStretch < frames; ++j) {
    reach_[j] = std::max(peaks[j], LargestMagnitude(planar_[c] + j * kStretch, kHistory));
  }
  return reach_.data();
}

// The true peak skips, stretch by stretch, what cannot beat its peak so far.
void LoudnessAnalyzer::MeasureTruePeak(std::size_t frames) {
  if (shared_true_peak_) return;
  for (unsigned c = 0; c < format_.channels; ++c) true_peak_.Process(c, planar_[c], frames, ReachOf(c, frames));
}

// A piece whose largest magnitude times the short look's gain cannot pass
// the quietest crest kept holds no crest to keep.
void LoudnessAnalyzer::MeasureCeiling(std::size_t frames) {
  for (unsigned c = 0; ceiling_ && c < format_.channels; ++c) {
    const float* reach = ReachOf(c, frames);
    for (std::size_t done = 0; done < frames; done += piece_frames_) {
      const std::size_t piece = std::min(piece_frames_, frames - done);
      const float largest = *std::max_element(reach + done / kStretch, reach + (done + piece - 1) / kStretch + 1);
      const float bar =
          shared_true_peak_ ? std::min(ceiling_->threshold(), ceiling_->peaks()[c]) : ceiling_->threshold();
      if (largest * static_cast<float>(ceiling_->Gain()) > bar) {
        ceiling_->Process(c, planar_[c] + done, piece, next_frame_ + static_cast<std::int64_t>(done));
      }
    }
  }
}

LoudnessFigures LoudnessAnalyzer::Figures(std::size_t range_step) {
  Measure();
  LoudnessFigures figures;
  figures.sample_peak = sample_peak_;
  figures.non_finite = non_finite_ - settled_non_finite_;
  figures.true_peak = sample_peak_;
  for (const float peak : shared_true_peak_ ? ceiling_->peaks() : true_peak_.peaks()) {
    figures.true_peak = std::max<double>(figures.true_peak, peak);
  }
  // Samples this near the end of the float range can overflow the
  // single-precision interpolation (an infinite or lost peak, and a gain of
  // zero after it); the interpolators' bound, which only errs high, stands in.
  const double bound = sample_peak_ * true_peak_.Gain();
  if (bound > std::numeric_limits<float>::max()) figures.true_peak = bound;
  figures.ceiling_peak = figures.true_peak;
  if (ceiling_) {
    if (part_.ends_file) {
      for (unsigned c = 0; c < format_.channels; ++c) {
        ceiling_->Finish(c, planar_[c] + (kHistory - CeilingPeakMeter::kHistory), next_frame_);
      }
    }
    double estimate = 0;
    for (const Crest& crest : ceiling_->crests()) estimate = std::max<double>(estimate, crest.estimate);
    figures.ceiling_peak = std::max<double>(sample_peak_, estimate);
    const double ceiling_bound = sample_peak_ * ceiling_->Gain();
    if (ceiling_bound > std::numeric_limits<float>::max()) figures.ceiling_peak = ceiling_bound;
  }
  figures.block_powers = loudness_.BlockPowers();
  figures.integrated_lufs = GatedLoudness(figures.block_powers, 0);
  figures.loudness_range_lu = loudness_.LoudnessRangeLu(range_step);
  figures.max_momentary_lufs = loudness_.MaxLoudness(4);
  figures.max_short_term_lufs = loudness_.MaxLoudness(30);
  return figures;
}

}  // namespace normalize
