#include "loudness/file_measurement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "failure.h"
#include "loudness/channel_weights.h"
#include "loudness/loudness_meter.h"
#include "samples/crest_look.h"
#include "samples/file_parts.h"
#include "samples/planar_decode.h"
#include "samples/sample_kernel.h"
#include "wav/riff.h"

namespace normalize {
namespace {

// A part shorter than this is not worth its thread.
constexpr std::uint64_t kLeastPartSeconds = 5;

// The block size: a multiple of both the page and the sample size.
std::size_t BlockBytes(std::size_t buffer_bytes, unsigned sample_bytes) {
  constexpr std::size_t kPage = 4096;
  const std::size_t unit = sample_bytes % 3 == 0 ? 3 * kPage : kPage;
  return std::max(unit, buffer_bytes - buffer_bytes % unit);
}

std::uint64_t DataStart(const WavLayout& layout) { return layout.data_chunk().offset + riff::kChunkHeaderBytes; }

// Samples around a crest for the closer look, read from the file.
class CrestReader {
 public:
  CrestReader(SharedInput& input, const WavLayout& layout, std::uint64_t frames)
      : input_(input), layout_(layout), frames_(frames), planar_(layout.format.channels) {}

  void operator()(unsigned channel, std::int64_t first, std::size_t count, float* out) {
    std::fill(out, out + count, 0.0f);
    const auto from = static_cast<std::uint64_t>(std::max<std::int64_t>(first, 0));
    const auto to = std::min<std::uint64_t>(frames_, static_cast<std::uint64_t>(std::max<std::int64_t>(
                                                         first + static_cast<std::int64_t>(count), 0)));
    if (from >= to) return;
    const SampleFormat& format = layout_.format;
    const auto frames = static_cast<std::size_t>(to - from);
    bytes_.resize(frames * format.block_align);
    input_.Read(DataStart(layout_) + from * format.block_align, bytes_.size(), bytes_.data());
    std::vector<float*> targets;
    for (auto& samples : planar_) {
      samples.resize(frames);
      targets.push_back(samples.data());
    }
    std::vector<float> peaks(format.channels);
    std::uint64_t non_finite = 0;
    DecodePlanar(format, bytes_.data(), frames, targets.data(), peaks.data(), non_finite);
    std::copy(planar_[channel].begin(), planar_[channel].end(), out + (from - static_cast<std::uint64_t>(first)));
  }

 private:
  SharedInput& input_;
  const WavLayout& layout_;
  std::uint64_t frames_;
  std::vector<std::byte> bytes_;
  std::vector<std::vector<float>> planar_;
};

}  // namespace

LoudnessFigures MeasureLoudnessOf(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes,
                                  unsigned threads, bool ceiling_peak, const ProgressFn& progress) {
  const SampleFormat& format = layout.format;
  const std::vector<double> weights = WeightsToMeasure(format);
  const std::uint64_t frames = layout.data_chunk().size / format.block_align;
  // Parts border on whole 100 ms segments of the loudness meter.
  const auto segment = static_cast<std::uint64_t>(std::max(1L, std::lround(format.sample_rate / 10.0)));
  const std::vector<FilePart> parts =
      SplitIntoParts(frames, kLeastPartSeconds * format.sample_rate, segment, std::max(1u, threads));
  const auto settle = static_cast<std::uint64_t>(std::lround(KWeightingFilter::kSettleSeconds * format.sample_rate));

  SharedInput shared(input, BlockBytes(buffer_bytes, format.container_bytes), frames * format.block_align, progress,
                     "measuring");
  std::vector<LoudnessFigures> figures(parts.size());
  std::vector<std::vector<double>> part_powers(parts.size());
  std::vector<std::vector<Crest>> part_crests(parts.size());
  RunParts(parts.size(), threads, [&](std::size_t i) {
    const FilePart& part = parts[i];
    AnalyzedPart span;
    span.first_frame = static_cast<std::int64_t>(part.first);
    span.settle_frames = static_cast<std::size_t>(std::min(part.first, std::max<std::uint64_t>(settle, 64)));
    span.ends_file = part.end == frames;
    span.side_thread = threads > 1 && parts.size() == 1;
    span.frames = part.end - part.first;
    // Its buffers go as soon as the part is measured.
    auto analyzer =
        std::make_unique<LoudnessAnalyzer>(format, format.sample_rate, weights, SimdLevel::kBest, ceiling_peak, span);
    // Left as it is: only input that is read, not mapped, goes through it.
    const std::unique_ptr<std::byte[]> buffer(new std::byte[shared.block_bytes()]);
    const std::uint64_t first = part.first - span.settle_frames;
    shared.ForEachBlock(DataStart(layout) + first * format.block_align, (part.end - first) * format.block_align,
                        format.container_bytes, buffer.get(),
                        [&](const std::byte* block, std::size_t size) { analyzer->Add(block, size); });
    figures[i] = analyzer->Figures();
    part_powers[i] = analyzer->segment_powers();
    part_crests[i] = analyzer->crests();
  });
  shared.CheckNotCutShort();

  LoudnessFigures whole;
  std::vector<double> segment_powers;
  std::vector<Crest> crests;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    whole.sample_peak = std::max(whole.sample_peak, figures[i].sample_peak);
    whole.true_peak = std::max(whole.true_peak, figures[i].true_peak);
    whole.ceiling_peak = std::max(whole.ceiling_peak, figures[i].ceiling_peak);
    whole.non_finite += figures[i].non_finite;
    segment_powers.insert(segment_powers.end(), part_powers[i].begin(), part_powers[i].end());
    crests.insert(crests.end(), part_crests[i].begin(), part_crests[i].end());
  }
  whole.block_powers = LoudnessMeter::BlockPowersOf(segment_powers);
  whole.integrated_lufs = GatedLoudness(whole.block_powers, 0);
  whole.loudness_range_lu = LoudnessMeter::LoudnessRangeOf(segment_powers);
  whole.max_momentary_lufs = LoudnessMeter::MaxLoudnessOf(segment_powers, 4);
  whole.max_short_term_lufs = LoudnessMeter::MaxLoudnessOf(segment_powers, 30);
  whole.segment_powers = std::move(segment_powers);
  // A finite look: where the short one already overflowed the float range,
  // its bound stands.
  if (ceiling_peak && whole.ceiling_peak <= std::numeric_limits<float>::max()) {
    CrestReader reader(shared, layout, frames);
    whole.ceiling_peak = std::max(whole.sample_peak, LookAtCrests(std::move(crests), std::ref(reader)));
  }
  return whole;
}

PeakTracker ScanPeakOf(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes, unsigned threads,
                       const ProgressFn& progress) {
  const unsigned sample_bytes = layout.format.container_bytes;
  const std::uint64_t samples = layout.data_chunk().size / sample_bytes;
  SharedInput shared(input, BlockBytes(buffer_bytes, sample_bytes), samples * sample_bytes, progress, "scanning");
  // A scan costs little more than its reads: parts of 1 Mi samples at least,
  // and only where threads need not take turns reading.
  const std::vector<FilePart> parts =
      SplitIntoParts(samples, 1u << 20, 4096, shared.mapped() ? std::max(1u, threads) : 1u);
  std::vector<PeakTracker> peaks(parts.size());
  RunParts(parts.size(), threads, [&](std::size_t i) {
    std::vector<std::byte> buffer(shared.block_bytes());
    shared.ForEachBlock(DataStart(layout) + parts[i].first * sample_bytes, (parts[i].end - parts[i].first) * sample_bytes,
                        sample_bytes, buffer.data(), [&](const std::byte* block, std::size_t size) {
                          ScanPeak(layout.format, block, size / sample_bytes, peaks[i]);
                        });
  });
  shared.CheckNotCutShort();
  PeakTracker whole;
  for (const PeakTracker& peak : peaks) {
    whole.min = std::min(whole.min, peak.min);
    whole.max = std::max(whole.max, peak.max);
    whole.non_finite += peak.non_finite;
  }
  return whole;
}

LoudnessFigures MeasureLoudnessOf(StreamProcessor& processor, const SampleFormat& format) {
  LoudnessAnalyzer analyzer(format, format.sample_rate, WeightsToMeasure(format), SimdLevel::kBest, false);
  processor.Measure(analyzer);
  return analyzer.Figures();
}

}  // namespace normalize
