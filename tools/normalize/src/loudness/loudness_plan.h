#pragma once
// Measuring a file's loudness: every figure of BS.1770-4 and EBU Tech 3342 in
// one read-only pass.
#include <optional>
#include <vector>

#include "loudness/loudness_analysis.h"
#include "wav/wav_format.h"

namespace normalize {

class StreamProcessor;

// Every loudness figure of the file, in one read-only pass; with
// `ceiling_peak` also the peak a true-peak ceiling is held against. Throws
// Failure (unsupported) for a sample rate too low to K-weight.
LoudnessFigures MeasureLoudness(StreamProcessor& processor, const SampleFormat& format, bool ceiling_peak = false);

}  // namespace normalize
