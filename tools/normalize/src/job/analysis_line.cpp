#include "job/analysis_line.h"

#include <cstdio>

#include "job/decibels.h"

namespace normalize {
namespace {

std::string TextFigure(std::optional<double> value, int decimals, const char* unit, const char* missing) {
  return value ? Fixed(*value, decimals) + " " + unit : std::string(missing);
}

std::string JsonFigure(std::optional<double> value) { return value ? Fixed(*value, 3) : "null"; }

}  // namespace

std::string AnalysisText(const std::string& file, const LoudnessFigures& figures) {
  return file + ": sample peak " + TextFigure(DecibelsOf(figures.sample_peak), 2, "dBFS", "-inf dBFS") +
         ", true peak " + TextFigure(DecibelsOf(figures.true_peak), 2, "dBTP", "-inf dBTP") + ", loudness " +
         TextFigure(figures.integrated_lufs, 1, "LUFS", "none (silent, below -70 LUFS or shorter than 0.4 s)") + ", range " +
         TextFigure(figures.loudness_range_lu, 1, "LU", "none");
}

std::string AnalysisJson(const std::string& file, const LoudnessFigures& figures) {
  return "{\"file\":" + JsonString(file) + ",\"sample_peak_dbfs\":" + JsonFigure(DecibelsOf(figures.sample_peak)) +
         ",\"true_peak_dbtp\":" + JsonFigure(DecibelsOf(figures.true_peak)) +
         ",\"integrated_lufs\":" + JsonFigure(figures.integrated_lufs) +
         ",\"loudness_range_lu\":" + JsonFigure(figures.loudness_range_lu) + "}";
}

std::string AnalysisJsonFailure(const std::string& file, const std::string& error) {
  return "{\"file\":" + JsonString(file) +
         ",\"sample_peak_dbfs\":null,\"true_peak_dbtp\":null,\"integrated_lufs\":null,"
         "\"loudness_range_lu\":null,\"error\":" +
         JsonString(error) + "}";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace normalize
