// A --report page of a large library, made without measuring it: `files`
// records as a writing run gives them, each with the history of a track of
// `seconds` (a slow swell, the loudness a graph shows), through the page
// writer the tool itself uses. For timing how a browser opens such a page.
//
//   report_page_scale <page.html> <files> [seconds]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "report/report_page.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: report_page_scale <page.html> <files> [seconds]\n");
    return 2;
  }
  const std::size_t files = std::strtoul(argv[2], nullptr, 10);
  const double seconds = argc > 3 ? std::strtod(argv[3], nullptr) : 240;
  normalize::ReportPage page(argv[1],
                             "{\"command\":\"-r --loudness -16 --report page.html Music\",\"mode\":\"loudness\","
                             "\"target_lufs\":-16.000,\"ceiling_dbtp\":-1.000,\"dry_run\":false}",
                             files);
  std::vector<double> powers(static_cast<std::size_t>(seconds * 10));
  for (std::size_t i = 0; i < files; ++i) {
    const double level = -30 + static_cast<double>(i % 17);
    for (std::size_t s = 0; s < powers.size(); ++s) {
      powers[s] = std::pow(10.0, (level + 6 * std::sin(static_cast<double>(s + i) / 40) + 0.691) / 10);
    }
    char json[512];
    std::snprintf(json, sizeof json,
                  "{\"file\":\"Music/Artist %zu/Album %zu/%02zu track.wav\",\"written\":true,\"gain_db\":%.3f,"
                  "\"clipped\":0,\"before\":{\"sample_peak_dbfs\":%.3f,\"true_peak_dbtp\":%.3f,\"integrated_lufs\":"
                  "%.3f,\"loudness_range_lu\":8.120},\"after\":{\"sample_peak_dbfs\":%.3f,\"true_peak_dbtp\":%.3f,"
                  "\"integrated_lufs\":-16.000,\"loudness_range_lu\":8.120}}",
                  i / 120, i / 12, i % 12 + 1, -16 - level, level + 14, level + 14.2, level, -2.0, -1.8);
    page.Add(page.Line(json, &powers));
  }
  page.Finish();
  return 0;
}
