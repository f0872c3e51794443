// The true peak skips each stretch whose samples, times the most any phase
// can add up, cannot beat the peak so far: it must never skip one that can.
// Crests of rising height fall just before, on and just after the stretches'
// borders and the blocks' (where the windows reach back into the stretch
// before), on quiet noise; the skipping meter, fed as the analyzer feeds it, must
// find what fresh meters that skip nothing find.
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
  std::mt19937 random(5);
  std::normal_distribution<float> noise(0, 0.001f);
  std::vector<float> samples(1200000);  // two blocks and more
  for (float& s : samples) s = noise(random);
  // A crest between two samples, each below the one before's true peak but
  // with a true peak above it.
  float height = 0.3f;
  // Some only the next stretch's windows reach (4 before a border).
  for (std::size_t border = stretch; border + 40 < samples.size(); border += 7 * stretch) {
    for (const std::size_t at : {border - 12, border - 4, border - 1, border, border + 5}) {
      if ((at == border - 4) != (border / stretch % 2 == 0)) continue;
      samples[at] = samples[at + 1] = height * (at % 2 ? 1 : -1);
      height *= 1.004f;
    }
  }
  std::vector<std::byte> bytes(samples.size() * 4);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  const SampleFormat format{SampleEncoding::kFloat32, 1, 4, 32, 4, 48000};
  const float expected = UnskippedPeak(samples, rate);
  for (const SimdLevel simd : {SimdLevel::kScalar, SimdLevel::kBest}) {
    for (const std::size_t add : {bytes.size(), std::size_t{65536 + 12}}) {
      LoudnessAnalyzer analyzer(format, rate, {1.0}, simd);
      for (std::size_t at = 0; at < bytes.size(); at += add) {
        analyzer.Add(bytes.data() + at, std::min(add, bytes.size() - at));
      }
      EXPECT_NEAR(analyzer.Figures().true_peak, expected, expected * 1e-6) << "added " << add << " bytes a time";
    }
  }
}

}  // namespace
}  // namespace normalize::test
