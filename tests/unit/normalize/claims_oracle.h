#pragma once
// The claims oracle: what a run of the real tool says (its text or JSON
// lines), what the files it wrote really hold (their samples read here, their
// loudness by libebur128), and the properties every writing run must keep:
//   (a) every written sample is within the dither's reach of input x the gain,
//       or counted as clipped; a gain that moves no sample moves none;
//   (b) the figures reported equal those measured on the files;
//   (c) nothing is made silent or constant that was not;
//   (d) a run that cannot keep its promise says so with a non-zero exit code
//       and leaves its input whole; one that exits 0 kept it;
//   (e) every byte outside the samples is kept, but the bext loudness fields.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "claims_cases.h"

namespace normalize::test::claims {

// What libebur128 and a plain scan find in samples of `format`.
struct Figures {
  double integrated_lufs = -HUGE_VAL;
  double true_peak_db = -HUGE_VAL;
  double sample_peak = 0;  // the largest magnitude, as a fraction of full scale
};
Figures Measure(const Format& format, const std::vector<double>& samples);

// One file's line of a run, as the tool said it (text or JSON).
struct Said {
  std::string line;
  bool written = false;
  bool left_alone = false;  // "already at ...; left as it was"
  std::optional<double> gain_db;
  std::optional<double> clipped;
  std::optional<double> before_lufs, before_peak_db, before_true_peak;
  std::optional<double> after_lufs, after_peak_db, after_true_peak;
  std::optional<double> as_written_lufs;  // text: "(the file as written: ... LUFS)"
  std::optional<double> ceiling_result_lufs;
  bool ceiling_held = false;
  double gain_precision_db = 0.005;  // the decimals the gain was given with, halved
};
// The line about `input` (or its result `output`) in everything `said`.
Said LineAbout(const std::string& said, const std::string& input, const std::string& output, bool json);

// One file of a run, before and after.
struct FileRun {
  const Audio* audio;           // what the input holds
  Built built;                  // its layout
  Bytes original;               // the input's bytes before the run
  Bytes result;                 // the written file's bytes (empty: none)
  bool replaced = false;        // the input or the -o file was (re)written
  Said said;
};

// Checks every property of one run over `files`, given its exit code and all
// it said; returns the violations, each starting with its property's letter.
std::vector<std::string> CheckRun(const Case& c, const std::vector<FileRun>& files, int exit_code,
                                  const std::string& said);

// Runs the real program as `c` says on its files (and again, where it asks
// for a rerun or twins) and checks every property; returns the violations.
std::vector<std::string> RunCase(const Case& c);

// The exit code of a target beyond what a file's format can hold.
constexpr int kBeyondFormatCode = 12;

}  // namespace normalize::test::claims
