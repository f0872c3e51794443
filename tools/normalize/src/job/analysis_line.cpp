#include "job/analysis_line.h"

#include "cli/json_writer.h"
#include "job/decibels.h"

namespace normalize {
namespace {

std::string TextFigure(std::optional<double> value, int decimals, const char* unit, const char* missing) {
  return value ? Fixed(*value, decimals) + " " + unit : std::string(missing);
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
  JsonObject json;
  json.String("file", file)
      .Number("sample_peak_dbfs", DecibelsOf(figures.sample_peak))
      .Number("true_peak_dbtp", DecibelsOf(figures.true_peak))
      .Number("integrated_lufs", figures.integrated_lufs)
      .Number("loudness_range_lu", figures.loudness_range_lu)
      .Number("max_momentary_lufs", figures.max_momentary_lufs)
      .Number("max_short_term_lufs", figures.max_short_term_lufs);
  if (stored) {
    const auto& v = stored->values;
    json.Number("bext_integrated_lufs", v[kBextIntegrated])
        .Number("bext_loudness_range_lu", v[kBextRange])
        .Number("bext_true_peak_dbtp", v[kBextTruePeak])
        .Number("bext_max_momentary_lufs", v[kBextMaxMomentary])
        .Number("bext_max_short_term_lufs", v[kBextMaxShortTerm]);
  }
  return json.Text();
}

std::string AnalysisJsonFailure(const std::string& file, const std::string& error) {
  JsonObject json;
  json.String("file", file);
  for (const char* figure : {"sample_peak_dbfs", "true_peak_dbtp", "integrated_lufs", "loudness_range_lu",
                             "max_momentary_lufs", "max_short_term_lufs"}) {
    json.Number(figure, std::nullopt);
  }
  return json.String("error", error).Text();
}

}  // namespace normalize
