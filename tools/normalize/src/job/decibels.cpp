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

std::string LoudnessText(const LoudnessFigures& figures) {
  const auto true_peak = DecibelsOf(figures.true_peak);
  return "loudness " + Decibels(figures.integrated_lufs.value_or(-HUGE_VAL), false) + " LUFS, true peak " +
         (true_peak ? Decibels(*true_peak, false) : "-inf") + " dBTP";
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  // What rounds to zero is "0.000": "-0.000" would read as a figure below zero.
  if (text[0] == '-' && std::string(text + 1).find_first_not_of("0.") == std::string::npos) return text + 1;
  return text;
}

}  // namespace normalize
