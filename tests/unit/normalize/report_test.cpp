// --report as a person sees it: the page rendered by headless Chromium, its
// table read back from the rendered page and held against --json's lines of
// the same run, and every graph drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "program_run.h"
#include "report/loudness_history.h"
#include "loudness/loudness_meter.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

// The text after "key": in `json`, from `within`'s object on ("" the top).
std::string JsonFigure(const std::string& json, const std::string& key, const std::string& within = "") {
  std::size_t at = within.empty() ? 0 : json.find("\"" + within + "\":{");
  at = json.find("\"" + key + "\":", at);
  if (at == std::string::npos) return "";
  at += key.size() + 3;
  const std::string text = json.substr(at, json.find_first_of(",}", at) - at);
  return text == "null" ? "" : text;
}

std::string Unescaped(std::string html) {
  for (const auto& [entity, character] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"},
                                         {"&quot;", "\""}, {"&amp;", "&"}}) {
    for (std::size_t at = 0; (at = html.find(entity, at)) != std::string::npos; at += character.size()) {
      html.replace(at, entity.size(), character);
    }
  }
  return html;
}

// The page as Chromium has laid it out, every row and graph at once ("#all").
std::string RenderedPage(const ScratchDir& dir, const std::string& page) {
  std::string out;
  const int code = RunProgram(CHROMIUM_EXECUTABLE,
                              {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                               "--disable-background-networking", "--disable-component-update", "--disable-sync",
                               "--log-level=3", "--user-data-dir=" + dir / "chromium profile", "--dump-dom",
                               "file://" + std::filesystem::absolute(page).string() + "#all"},
                              &out);
  EXPECT_EQ(code, 0) << out;
  const std::size_t begin = out.find("<html");
  return begin == std::string::npos ? "" : out.substr(begin, out.rfind("</html>") + 7 - begin);
}

// The rendered row of `file`, and a cell of it by its column's key.
struct Row {
  std::string html;
  std::string Cell(const std::string& key) const {
    const std::string open = "data-k=\"" + key + "\">";
    const std::size_t at = html.find(open);
    if (at == std::string::npos) return "<missing>";
    return Unescaped(html.substr(at + open.size(), html.find("</td>", at) - at - open.size()));
  }
  long Drawn(const char* what) const {
    const std::size_t at = html.find(std::string("data-") + what + "=\"");
    return at == std::string::npos ? -1 : std::stol(html.substr(at + std::strlen(what) + 7));
  }
};
Row RowOf(const std::string& page, const std::string& json) {
  std::string file = JsonFigure(json, "file");
  file = file.substr(1, file.size() - 2);
  std::string escaped = file;
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}}) {
    for (std::size_t at = 0; (at = escaped.find(from, at)) != std::string::npos; at += to.size()) escaped.replace(at, 1, to);
  }
  const std::size_t at = page.find("data-file=\"" + escaped + "\"");
  if (at == std::string::npos) return {};
  return {page.substr(at, page.find("</tr>", at) - at)};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(NormalizeReport, TheRenderedPageHoldsEveryFileWithTheJsonFiguresAndItsGraph) {
  if (std::string(CHROMIUM_EXECUTABLE).empty()) GTEST_SKIP() << "chromium not found (scripts/deps installs it)";
  struct Case {
    std::vector<std::string> mode;
    bool album;
  } cases[] = {
      {{"--analyze"}, false},
      {{"--loudness", "-20", "--true-peak", "-1"}, false},
      {{"--album", "--loudness", "-18"}, true},
      {{"-n", "--loudness", "-23"}, false},
      {{"--loudness", "-9", "--true-peak", "-1", "--limit"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode[0]);
    ScratchDir dir;
    const std::string lib = dir / "lib";
    std::filesystem::create_directories(lib + "/disc <2> & more");
    Sox({"-n", "-r", "44100", "-c", "2", "-b", "16", lib + "/a.wav", "synth", "8", "pinknoise", "tremolo", "0.3",
         "60", "gain", "-20"});
    Sox({"-n", "-r", "48000", "-c", "1", "-b", "24", lib + "/disc <2> & more/b.wav", "synth", "5", "sine", "300",
         "fade", "0", "5", "2", "gain", "-8"});
    if (!c.album) WriteBytes(lib + "/broken.wav", {'R', 'I', 'F', 'X'});

    const std::string page = dir / "report.html";
    std::vector<std::string> args = c.mode;
    args.insert(args.end(), {"-r", "--json", "--report", page, lib});
    std::string out;
    RunProgram(NORMALIZE_EXECUTABLE, args, &out);
    const std::string rendered = RenderedPage(dir, page);
    ASSERT_FALSE(rendered.empty());

    std::size_t files = 0;
    for (const std::string& json : Lines(out)) {
      if (json.rfind("{", 0) != 0) continue;  // the error stream's lines
      if (JsonFigure(json, "album") == "true") {
        EXPECT_NE(rendered.find("Album of 2 files: gain " + JsonFigure(json, "gain_db") + " dB"), std::string::npos);
        continue;
      }
      ++files;
      SCOPED_TRACE(json);
      const Row row = RowOf(rendered, json);
      ASSERT_FALSE(row.html.empty());
      if (!JsonFigure(json, "error").empty()) {
        EXPECT_EQ(row.Cell("result").rfind("failed: ", 0), 0u);
        continue;
      }
      const bool writes = c.mode[0] != "--analyze";
      const std::string before = writes ? "before" : "";
      EXPECT_EQ(row.Cell("gain"), JsonFigure(json, "gain_db"));
      EXPECT_EQ(row.Cell("lb"), JsonFigure(json, "integrated_lufs", before));
      EXPECT_EQ(row.Cell("tb"), JsonFigure(json, "true_peak_dbtp", before));
      EXPECT_EQ(row.Cell("pb"), JsonFigure(json, "sample_peak_dbfs", before));
      EXPECT_EQ(row.Cell("range"), JsonFigure(json, "loudness_range_lu", before));
      if (writes) {
        EXPECT_EQ(row.Cell("la"), JsonFigure(json, "integrated_lufs", "after"));
        EXPECT_EQ(row.Cell("ta"), JsonFigure(json, "true_peak_dbtp", "after"));
        EXPECT_EQ(row.Cell("pa"), JsonFigure(json, "sample_peak_dbfs", "after"));
        EXPECT_EQ(row.Cell("lim"), JsonFigure(json, "largest_reduction_db", "limited"));
      }
      // Drawn: the curves' points, and ink on the canvas.
      EXPECT_GT(row.Drawn("points"), 40);
      EXPECT_GT(row.Drawn("ink"), 2000);
    }
    EXPECT_EQ(files, c.album ? 2u : 3u) << out;
    EXPECT_NE(rendered.find("data-rows=\"" + std::to_string(files) + "\""), std::string::npos);

    // Two clicks on a column's head, as a reader sorts it: loudest first.
    Bytes clicked = ReadBytes(page);
    const std::string click = "<script>for (const i of [1, 2]) document.querySelector('th[data-k=lb]').click();</script>";
    clicked.insert(clicked.end(), click.begin(), click.end());
    WriteBytes(page, clicked);
    const std::string sorted = RenderedPage(dir, page);
    std::vector<double> order;
    const std::string cell = "class=\"n\" data-k=\"lb\">";
    for (std::size_t at = 0; (at = sorted.find(cell, at)) != std::string::npos; ++at) {
      const std::string text = sorted.substr(at + cell.size(), sorted.find('<', at) - at - cell.size());
      if (!text.empty()) order.push_back(std::stod(text));
    }
    EXPECT_EQ(order.size(), 2u);
    EXPECT_TRUE(std::is_sorted(order.rbegin(), order.rend())) << ::testing::PrintToString(order);
  }
}

TEST(NormalizeReport, TheHistoryIsThinnedToItsPointsKeepingTheLoudest) {
  // 100 ms powers: 60 s of -30 LUFS with one second at -10 LUFS in the middle.
  std::vector<double> powers(600, std::pow(10.0, (-30 + 0.691) / 10));
  std::fill(powers.begin() + 300, powers.begin() + 310, std::pow(10.0, (-10 + 0.691) / 10));
  for (const std::size_t points : {600u, 100u, 7u}) {
    SCOPED_TRACE(points);
    const LoudnessHistory history = HistoryOf(powers, points);
    const std::size_t kept = history.momentary.size() / 2;
    EXPECT_LE(kept, points);
    EXPECT_EQ(history.short_term.size(), history.momentary.size());
    EXPECT_NEAR(history.step_seconds * static_cast<double>(kept), 60, history.step_seconds);
    double loudest = -1e9;
    for (std::size_t i = 0; i < kept; ++i) loudest = std::max(loudest, DecodeHistoryPoint(history.momentary, i));
    EXPECT_NEAR(loudest, -10, 0.0125);
    // No short-term figure before its 3 s window is full.
    if (history.step_seconds < 3) {
      EXPECT_EQ(DecodeHistoryPoint(history.short_term, 0), -INFINITY);
    }
    EXPECT_NEAR(DecodeHistoryPoint(history.short_term, kept - 1), -30, 0.0125);
  }
  EXPECT_EQ(HistoryPointsFor(10), 3000u);
  EXPECT_LE(HistoryPointsFor(80'000) * 80'000 * 4, 30'000'000u);  // both curves, in bytes
}

}  // namespace
}  // namespace normalize::test
