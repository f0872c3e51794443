#pragma once
// The read-only pass before any writing, for one file, on as many threads as
// the job gives it: a long file is measured in parts side by side, each part
// settling its filters on the samples before it, so that every figure is
// the one a single pass gives (the peaks exactly, the loudness to far below
// what is printed).
#include <cstddef>

#include "loudness/loudness_analysis.h"
#include "samples/peak.h"
#include "samples/stream_processor.h"
#include "wav/input_file.h"
#include "wav/wav_format.h"

namespace normalize {

// Every loudness figure of the file; with `ceiling_peak` also the peak a
// true-peak ceiling is held against, from the closer look at the loudest
// crests. `threads`: at least 1. Throws Failure (unsupported) for a sample
// rate too low to K-weight, and as reading does.
LoudnessFigures MeasureLoudnessOf(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes,
                                  unsigned threads, bool ceiling_peak, const ProgressFn& progress);

// Every loudness figure of what `processor` reads: the file, or after
// MeasureResultOf the result it would write, in one pass on this thread.
LoudnessFigures MeasureLoudnessOf(StreamProcessor& processor, const SampleFormat& format);

// The extremes of the data chunk's whole samples.
PeakTracker ScanPeakOf(InputFile& input, const WavLayout& layout, std::size_t buffer_bytes, unsigned threads,
                       const ProgressFn& progress);

}  // namespace normalize
