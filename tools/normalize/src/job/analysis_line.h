#pragma once
// The figures of --analyze as one line of text or one flat JSON object.
#include <string>

#include "loudness/loudness_analysis.h"
#include "wav/bext_chunk.h"

namespace normalize {

// "name: sample peak -1.00 dBFS, true peak -0.52 dBTP, loudness -23.0 LUFS, range 5.1 LU", then
// what a bext chunk's loudness fields say where the file has them (`stored`).
std::string AnalysisText(const std::string& file, const LoudnessFigures& figures,
                         const std::optional<BextLoudness>& stored = std::nullopt);

// {"file":"name","sample_peak_dbfs":-1.000,...}: a figure that does not exist
// is null; the stored bext fields under keys of their own ("bext_...").
std::string AnalysisJson(const std::string& file, const LoudnessFigures& figures,
                         const std::optional<BextLoudness>& stored = std::nullopt);

// The line of a file that could not be measured: its figures null, and why.
std::string AnalysisJsonFailure(const std::string& file, const std::string& error);

}  // namespace normalize
