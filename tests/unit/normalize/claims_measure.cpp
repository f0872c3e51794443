// The oracle's measurements: libebur128 on the samples read here, and what
// the tool's lines say, taken apart.
#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "claims_oracle.h"

namespace normalize::test::claims {
namespace {

// The weights of the tool's channel rule, in libebur128's terms: LFE left
// out, the surround pair (the side pair beside a back pair) at 1.41.
std::vector<int> ChannelMap(const Format& f) {
  std::vector<int> map(f.channels, EBUR128_LEFT);
  if (f.channels > 3) map[3] = EBUR128_UNUSED;
  if (f.channels == 8 && f.extensible) {
    map[6] = map[7] = EBUR128_LEFT_SURROUND;
  } else if (f.channels > 5) {
    map[4] = map[5] = EBUR128_LEFT_SURROUND;
  }
  return map;
}

std::optional<double> Number(const std::string& text) {
  if (text.empty() || text == "null") return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end == text.c_str() ? std::nullopt : std::optional<double>(value);
}

// The value of `key` in a JSON object's text, inside `within`'s object if given.
std::optional<double> JsonValue(const std::string& json, const std::string& key, const std::string& within = "") {
  std::size_t from = 0, to = json.size();
  if (!within.empty()) {
    from = json.find("\"" + within + "\":{");
    if (from == std::string::npos) return std::nullopt;
    to = json.find('}', from);
  }
  const std::size_t at = json.find("\"" + key + "\":", from);
  if (at == std::string::npos || at > to) return std::nullopt;
  const std::size_t start = at + key.size() + 3;
  return Number(json.substr(start, json.find_first_of(",}", start) - start));
}

std::optional<double> Match(const std::string& line, const char* pattern) {
  std::smatch match;
  if (!std::regex_search(line, match, std::regex(pattern))) return std::nullopt;
  return Number(match[1]);
}

}  // namespace

Figures Measure(const Format& f, const std::vector<double>& samples) {
  Figures figures;
  const double scale = f.is_float() ? 1.0 : 1.0 / f.full_scale();
  std::vector<double> unit(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    unit[i] = samples[i] * scale;
    figures.sample_peak = std::max(figures.sample_peak, std::fabs(unit[i]));
  }
  ebur128_state* state = ebur128_init(f.channels, f.rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  const std::vector<int> map = ChannelMap(f);
  for (unsigned ch = 0; ch < f.channels; ++ch) ebur128_set_channel(state, ch, map[ch]);
  ebur128_add_frames_double(state, unit.data(), samples.size() / f.channels);
  ebur128_loudness_global(state, &figures.integrated_lufs);
  double true_peak = 0;
  for (unsigned ch = 0; ch < f.channels; ++ch) {
    double peak = 0;
    ebur128_true_peak(state, ch, &peak);
    true_peak = std::max(true_peak, peak);
  }
  ebur128_destroy(&state);
  figures.true_peak_db = 20 * std::log10(true_peak);
  return figures;
}

Said LineAbout(const std::string& said, const std::string& input, const std::string& output, bool json) {
  Said s;
  std::istringstream lines(said);
  for (std::string line; std::getline(lines, line);) {
    // The album's line names the tracks it limited.
    if (line.rfind("normalize: warning:", 0) == 0 || line.rfind("{\"album\"", 0) == 0 || line.rfind("album:", 0) == 0) {
      continue;
    }
    const bool about = json ? line.find("\"file\":\"" + input + "\"") != std::string::npos
                            : line.find(input) != std::string::npos || line.find(output) != std::string::npos;
    if (about) {
      s.line = line;
      break;
    }
  }
  const std::string& l = s.line;
  if (json) {
    s.written = l.find("\"written\":true") != std::string::npos;
    s.left_alone = l.find("left as it was") != std::string::npos;
    s.gain_db = JsonValue(l, "gain_db");
    s.clipped = JsonValue(l, "clipped");
    s.before_lufs = JsonValue(l, "integrated_lufs", "before");
    s.before_peak_db = JsonValue(l, "sample_peak_dbfs", "before");
    s.before_true_peak = JsonValue(l, "true_peak_dbtp", "before");
    s.after_lufs = JsonValue(l, "integrated_lufs", "after");
    s.after_peak_db = JsonValue(l, "sample_peak_dbfs", "after");
    s.after_true_peak = JsonValue(l, "true_peak_dbtp", "after");
    s.ceiling_held = l.find("\"held_by_ceiling\":true") != std::string::npos || l.find("the ceiling allows") != std::string::npos;
    s.gain_precision_db = 0.0005;
    return s;
  }
  s.written = l.find(", written to ") != std::string::npos;
  s.left_alone = l.find("left as it was") != std::string::npos;
  s.gain_db = Match(l, R"(gain ([-+]\d+\.\d+) dB)");
  s.clipped = Match(l, R"((\d+) clipped)");
  s.before_lufs = Match(l, R"(loudness (-?\d+\.\d+) LUFS)");
  s.before_peak_db = Match(l, R"(peak (-?\d+\.\d+) dBFS)");
  s.as_written_lufs = Match(l, R"(the file as written: (-?\d+\.\d+) LUFS)");
  s.ceiling_result_lufs = Match(l, R"(the result is (-?\d+\.\d+) LUFS)");
  s.ceiling_held = l.find("true-peak ceiling") != std::string::npos || l.find("the ceiling allows") != std::string::npos;
  return s;
}

}  // namespace normalize::test::claims
