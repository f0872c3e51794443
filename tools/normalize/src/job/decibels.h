#pragma once
// Every figure in decibels that the tool prints, written one way.
#include <optional>
#include <string>

#include "cli/number_text.h"
#include "loudness/loudness_analysis.h"
#include "samples/peak.h"

namespace normalize {

// 20 log10(fraction); nothing for silence (and for what is not a number).
std::optional<double> DecibelsOf(double fraction);

// Two decimals ("-6.02", with `sign` "+6.02"); "-inf" and "+inf"; never "-0.00".
std::string Decibels(double db, bool sign);

// "-6.02 dBFS", or "silence".
std::string PeakText(const Peak& peak);

// What was measured of a file, or of an album's files together, as its
// lines name it.
struct Levels {
  std::optional<double> sample_peak_dbfs;
  std::optional<double> true_peak_dbtp;
  std::optional<double> integrated_lufs;
  std::optional<double> loudness_range_lu;  // a gain leaves it as it is
  bool loudness_measured = false;  // else the sample peak alone was
};

// What was measured, as every line says it: "loudness -23.00 LUFS, true peak
// -1.20 dBTP" where the loudness was measured, else "peak -6.02 dBFS" (or
// "peak silence").
std::string FiguresText(const Levels& levels);

}  // namespace normalize
