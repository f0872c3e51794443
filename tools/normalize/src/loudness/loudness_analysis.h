#pragma once
// One pass over a file's samples for every loudness figure: sample peak, true
// peak, integrated loudness and loudness range. Samples arrive in blocks of
// any size, as they are read.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "loudness/loudness_meter.h"
#include "loudness/sample_pool.h"
#include "loudness/side_thread.h"
#include "samples/ceiling_peak.h"
#include "samples/frame_sink.h"
#include "samples/true_peak.h"
#include "wav/wav_format.h"

namespace normalize {

struct LoudnessFigures {
  double sample_peak = 0;  // fractions of full scale
  double true_peak = 0;  // as BS.1770-4 measures it, comparable with other meters
  double ceiling_peak = 0;  // as CeilingPeakMeter measures it, where asked for; else the true peak
  std::optional<double> integrated_lufs;  // nothing: silent, below the gate or shorter than one block
  std::vector<double> block_powers;       // of the 400 ms gating blocks, which decide the loudness
  std::vector<double> segment_powers;     // of every 100 ms: the loudness over time (whole files only)
  std::optional<double> loudness_range_lu;
  std::optional<double> max_momentary_lufs;   // of the 400 ms blocks
  std::optional<double> max_short_term_lufs;  // of the 3 s blocks, every 100 ms
  std::uint64_t non_finite = 0;  // NaN or infinite float samples, measured as silence
};

// Which part of a file an analyzer is given, where the file is measured in
// parts side by side. The default: the whole file, with a second thread
// where there are two cores.
struct AnalyzedPart {
  std::int64_t first_frame = 0;  // of the file, the first frame measured
  // Frames given before first_frame: they settle the filters and count
  // towards the sample peak, but towards nothing else.
  std::size_t settle_frames = 0;
  bool ends_file = true;  // the silence after the last frame given is the file's
  // Frames given from first_frame on, where known: no buffer is made
  // larger than they need.
  std::uint64_t frames = UINT64_MAX;
  bool side_thread = true;
};

class LoudnessAnalyzer final : public FrameSink {
 public:
  // `weights`: one per channel (see ChannelWeights). `ceiling_peak`: also
  // measure the peak a true-peak ceiling is held against.
  LoudnessAnalyzer(const SampleFormat& format, double sample_rate, std::vector<double> weights,
                   SimdLevel simd = SimdLevel::kBest, bool ceiling_peak = false, AnalyzedPart part = {});

  void Add(const std::byte* data, std::size_t bytes) override;

  // Measures what is still pending, then gives the figures so far.
  // `range_step`: see LoudnessMeter::LoudnessRangeLu. Here the ceiling peak
  // is the short look's (see CeilingPeakMeter); CrestLook gives the finer one.
  LoudnessFigures Figures(std::size_t range_step = 1);

  // After Figures: the 100 ms powers measured and the ceiling meter's crests.
  const std::vector<double>& segment_powers() const { return loudness_.segment_powers(); }
  std::vector<Crest> crests() const { return ceiling_ ? ceiling_->crests() : std::vector<Crest>{}; }

 private:
  // Samples measured at a time, all channels together: 524,288 frames of
  // stereo (11 s at 48 kHz), fewer of many channels. Large enough that the
  // K-weighting's four stretches side by side spend little on settling.
  static constexpr std::size_t kBlockSamples = 1 << 20;
  // The ceiling looks at a block in pieces of this many samples, each
  // skipped where it cannot hold a crest to keep.
  static constexpr std::size_t kPieceSamples = 131072;
  static constexpr std::size_t kHistory = TruePeakMeter::kHistory;
  static_assert(CeilingPeakMeter::kHistory == kHistory, "both peaks' windows reach back as far");
  static constexpr std::size_t kStretch = TruePeakMeter::kStretch;
  // The settling frames take at least this many from a part's start, so
  // that the part before measures up to its own end.
  static constexpr std::size_t kLeastSettle = 2 * kHistory;

  // Decodes into the planar buffers after what is pending; measures them
  // once they are full.
  void DecodeFrames(const std::byte* data, std::size_t frames);
  void Measure();
  void Settle();
  void MeasureTruePeak(std::size_t frames);
  void MeasureCeiling(std::size_t frames);
  void KeepHistory(std::size_t frames);
  const float* ReachOf(unsigned c, std::size_t frames);

  SampleFormat format_;
  LoudnessMeter loudness_;
  TruePeakMeter true_peak_;
  std::optional<CeilingPeakMeter> ceiling_;
  bool shared_true_peak_ = false;  // the ceiling meter's short look is the true peak's too
  std::size_t block_frames_;
  std::size_t piece_frames_;  // of the ceiling's look
  // Per channel: kHistory earlier samples, then up to block_frames_ decoded ones.
  PooledSamples samples_;
  std::vector<float*> planar_;  // where each channel's lie in samples_
  std::vector<float*> decode_targets_;  // where each channel's new samples go
  // The start of a frame cut by a block's end. Sized once: Add may read
  // mapped memory and must not allocate while it does.
  std::vector<std::byte> partial_;
  std::size_t partial_bytes_ = 0;
  float sample_peak_ = 0;
  std::uint64_t non_finite_ = 0;
  std::size_t pending_ = 0;          // frames decoded, not yet measured
  std::vector<float> decoded_peaks_;  // per channel, of the last decoding
  // Per channel, each pending stretch's largest magnitude.
  std::vector<std::vector<float>> stretch_peaks_;
  std::vector<float> reach_;
  AnalyzedPart part_;
  std::size_t settle_left_ = 0;           // settling frames not yet decoded
  std::int64_t next_frame_ = 0;           // of the file, the first of the pending frames
  std::uint64_t settled_non_finite_ = 0;  // counted while settling
  // Runs the true peak beside the loudness filters, where there are two cores.
  std::unique_ptr<SideThread> side_;
};

}  // namespace normalize
