// The true peak skips each stretch whose samples, times the most any phase
// can add up, cannot beat the peak so far: it must never skip one that can.
// Fed as the analyzer feeds it, it must find what fresh meters that skip
// nothing find.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "loudness/loudness_analysis.h"

namespace normalize::test {
namespace {

// The largest true peak of `samples` (mono) without skipping: every stretch
// measured by a meter of its own, whose peak starts at nothing.
float UnskippedPeak(const std::vector<float>& samples, double rate) {
  constexpr std::size_t kHistory = TruePeakMeter::kHistory;
  std::vector<float> padded(kHistory, 0.0f);
  padded.insert(padded.end(), samples.begin(), samples.end());
  padded.resize(padded.size() + kHistory, 0.0f);  // the windows over the last samples
  float peak = 0;
  for (std::size_t at = 0; at < samples.size() + kHistory; at += TruePeakMeter::kStretch) {
    TruePeakMeter fresh(rate, 1, SimdLevel::kScalar);
    fresh.Process(0, padded.data() + at, std::min(TruePeakMeter::kStretch, samples.size() + kHistory - at));
    peak = std::max(peak, fresh.peaks()[0]);
  }
  return peak;
}

TEST(NormalizeTruePeakSkip, NoStretchThatCanBeatThePeakIsSkipped) {
  const double rate = 48000;
  const std::size_t stretch = TruePeakMeter::kStretch;
  const std::size_t block = 1 << 20;  // mono: the analyzer's block in frames
  const SampleFormat format{SampleEncoding::kFloat32, 1, 4, 32, 4, 48000};
  std::mt19937 random(5);
  std::normal_distribution<float> noise(0, 0.001f);
  std::vector<float> quiet(block + 150000);
  for (float& s : quiet) s = noise(random);
  // The loudest crest (two equal samples, the peak between them) where only
  // the windows of the stretch after reach it (4 before a border), on either
  // side of a border, and across the blocks' border; an earlier, quieter one
  // lets the quiet stretches be skipped.
  for (const std::size_t at : {9 * stretch - 12, 9 * stretch - 4, 9 * stretch - 1, 9 * stretch, 9 * stretch + 5,
                               block - 4, block - 1}) {
    std::vector<float> samples = quiet;
    samples[1000] = samples[1001] = 0.5f;
    samples[at] = samples[at + 1] = -0.6f;
    std::vector<std::byte> bytes(samples.size() * 4);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    const float expected = UnskippedPeak(samples, rate);
    ASSERT_GT(expected, 0.6f);
    for (const SimdLevel simd : {SimdLevel::kScalar, SimdLevel::kBest}) {
      for (const std::size_t add : {bytes.size(), std::size_t{65536 + 12}}) {
        LoudnessAnalyzer analyzer(format, rate, {1.0}, simd);
        for (std::size_t i = 0; i < bytes.size(); i += add) analyzer.Add(bytes.data() + i, std::min(add, bytes.size() - i));
        EXPECT_NEAR(analyzer.Figures().true_peak, expected, expected * 1e-6)
            << "crest at " << at << ", added " << add << " bytes a time";
      }
    }
  }
}

}  // namespace
}  // namespace normalize::test
