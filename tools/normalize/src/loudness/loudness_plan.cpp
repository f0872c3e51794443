#include "loudness/loudness_plan.h"

#include "loudness/channel_weights.h"
#include "samples/stream_processor.h"

namespace normalize {

LoudnessFigures MeasureLoudness(StreamProcessor& processor, const SampleFormat& format, bool ceiling_peak) {
  LoudnessAnalyzer analyzer(format, format.sample_rate, WeightsToMeasure(format), SimdLevel::kBest, ceiling_peak);
  processor.Measure(analyzer);
  return analyzer.Figures();
}

}  // namespace normalize
