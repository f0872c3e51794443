#pragma once
// A file's loudness over time as the report draws it: the short-term (3 s)
// and momentary (400 ms) loudness, from the meter's 100 ms powers, thinned to
// a number of points a page of thousands of files still holds.
#include <cstddef>
#include <string>
#include <vector>

namespace normalize {

struct LoudnessHistory {
  double step_seconds = 0.1;  // between points
  // Two characters a point, from [A-Za-z0-9_-]: "AA" where there is no
  // figure (the window not yet full, or silence), else (LUFS + 90) * 40.
  std::string short_term;
  std::string momentary;
};

// At most `points` points each; where that thins the history, each point is
// the loudest of its stretch, so that no loud passage disappears from sight.
LoudnessHistory HistoryOf(const std::vector<double>& segment_powers, std::size_t points);

// The history's points per curve for a run of `files` files: a few thousand
// for a small library, fewer for a large one, so that its page stays small
// enough to open (80,000 files: about 150 kB of history per thousand files).
std::size_t HistoryPointsFor(std::size_t files);

// What a point's two characters stand for, in LUFS; nothing is -infinity.
double DecodeHistoryPoint(const std::string& curve, std::size_t point);

}  // namespace normalize
