#include "job/analysis_line.h"

#include <cstdio>

#include "job/decibels.h"

namespace normalize {
namespace {

std::string TextFigure(std::optional<double> value, int decimals, const char* unit, const char* missing) {
  return value ? Fixed(*value, decimals) + " " + unit : std::string(missing);
}

std::string JsonFigure(std::optional<double> value) { return value ? Fixed(*value, 3) : "null"; }

// U+FFFD in UTF-8: what a byte that is not part of a UTF-8 character becomes.
constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 character of two to four bytes that
// starts at `at`, or 0: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned lead = byte(0);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  // The second byte's range where the lead alone does not settle it.
  const unsigned second = byte(1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string AnalysisText(const std::string& file, const LoudnessFigures& figures,
                         const std::optional<BextLoudness>& stored) {
  std::string text = file + ": sample peak " + TextFigure(DecibelsOf(figures.sample_peak), 2, "dBFS", "-inf dBFS") +
                     ", true peak " + TextFigure(DecibelsOf(figures.true_peak), 2, "dBTP", "-inf dBTP") +
                     ", loudness " +
                     TextFigure(figures.integrated_lufs, 1, "LUFS", "none (silent, below -70 LUFS or shorter than 0.4 s)") +
                     ", range " + TextFigure(figures.loudness_range_lu, 1, "LU", "none");
  if (!stored) return text;
  const auto& v = stored->values;
  return text + "; its bext chunk says loudness " + TextFigure(v[kBextIntegrated], 2, "LUFS", "not set") +
         ", range " + TextFigure(v[kBextRange], 2, "LU", "not set") + ", true peak " +
         TextFigure(v[kBextTruePeak], 2, "dBTP", "not set") + ", max momentary " +
         TextFigure(v[kBextMaxMomentary], 2, "LUFS", "not set") + ", max short-term " +
         TextFigure(v[kBextMaxShortTerm], 2, "LUFS", "not set");
}

std::string AnalysisJson(const std::string& file, const LoudnessFigures& figures,
                         const std::optional<BextLoudness>& stored) {
  std::string json = "{\"file\":" + JsonString(file) + ",\"sample_peak_dbfs\":" +
                     JsonFigure(DecibelsOf(figures.sample_peak)) +
                     ",\"true_peak_dbtp\":" + JsonFigure(DecibelsOf(figures.true_peak)) +
                     ",\"integrated_lufs\":" + JsonFigure(figures.integrated_lufs) +
                     ",\"loudness_range_lu\":" + JsonFigure(figures.loudness_range_lu) +
                     ",\"max_momentary_lufs\":" + JsonFigure(figures.max_momentary_lufs) +
                     ",\"max_short_term_lufs\":" + JsonFigure(figures.max_short_term_lufs);
  if (stored) {
    const auto& v = stored->values;
    json += ",\"bext_integrated_lufs\":" + JsonFigure(v[kBextIntegrated]) +
            ",\"bext_loudness_range_lu\":" + JsonFigure(v[kBextRange]) +
            ",\"bext_true_peak_dbtp\":" + JsonFigure(v[kBextTruePeak]) +
            ",\"bext_max_momentary_lufs\":" + JsonFigure(v[kBextMaxMomentary]) +
            ",\"bext_max_short_term_lufs\":" + JsonFigure(v[kBextMaxShortTerm]);
  }
  return json + "}";
}

std::string AnalysisJsonFailure(const std::string& file, const std::string& error) {
  return "{\"file\":" + JsonString(file) +
         ",\"sample_peak_dbfs\":null,\"true_peak_dbtp\":null,\"integrated_lufs\":null,"
         "\"loudness_range_lu\":null,\"max_momentary_lufs\":null,\"max_short_term_lufs\":null,\"error\":" +
         JsonString(error) + "}";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, at);
      out += length ? text.substr(at, length) : std::string(kReplacementCharacter);
      at += length ? length : 1;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += text[at];
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += text[at];
    }
    ++at;
  }
  return out + "\"";
}

}  // namespace normalize
