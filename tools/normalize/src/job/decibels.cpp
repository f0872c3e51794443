#include "job/decibels.h"

#include <cmath>
#include <cstdio>

namespace normalize {

std::optional<double> DecibelsOf(double fraction) {
  if (!(fraction > 0) || !std::isfinite(fraction)) return std::nullopt;
  return 20.0 * std::log10(fraction);
}

std::string Decibels(double db, bool sign) {
  if (std::isinf(db)) return db < 0 ? "-inf" : "+inf";
  if (std::fabs(db) < 0.005) db = 0;  // no "-0.00"
  char text[32];
  std::snprintf(text, sizeof text, sign ? "%+.2f" : "%.2f", db);
  return text;
}

std::string PeakText(const Peak& peak) {
  const double magnitude = peak.magnitude();
  return magnitude > 0 ? Decibels(20 * std::log10(magnitude), false) + " dBFS" : "silence";
}

std::string FiguresText(const Levels& levels) {
  if (!levels.loudness_measured) {
    return "peak " + (levels.sample_peak_dbfs ? Decibels(*levels.sample_peak_dbfs, false) + " dBFS" : "silence");
  }
  return "loudness " + Decibels(levels.integrated_lufs.value_or(-HUGE_VAL), false) + " LUFS, true peak " +
         (levels.true_peak_dbtp ? Decibels(*levels.true_peak_dbtp, false) : "-inf") + " dBTP";
}

}  // namespace normalize
