// The properties every run keeps, held against the files it wrote.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>

#include "claims_oracle.h"

namespace normalize::test::claims {
namespace {

std::string Text(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

double Db(double fraction) { return 20 * std::log10(fraction); }

bool AtLimit(const Format& f, double v) {
  if (f.is_float()) return std::fabs(v) == (f.container_bits == 32 ? FLT_MAX : DBL_MAX);
  return v == -f.full_scale() || v == f.full_scale() - 1;
}

bool Silent(const std::vector<double>& s) {
  return std::all_of(s.begin(), s.end(), [](double v) { return v == 0; });
}
bool Constant(const std::vector<double>& s) {
  return std::all_of(s.begin(), s.end(), [&](double v) { return v == s.front(); });
}

// The gains under which every sample the tool did not clamp lies within
// `reach` steps (floats: their own rounding) of its input's product.
struct Gains {
  double low = -HUGE_VAL, high = HUGE_VAL;
  bool empty() const { return !(low <= high); }
  double middle() const { return (low + high) / 2; }
  double width() const { return high - low; }
};

double Tolerance(const Format& f, double out, double reach) {
  if (!f.is_float()) return reach + 1e-9;
  return std::fabs(out) * (f.container_bits == 32 ? 0x1.01p-24 : 0x1.01p-52) + 1e-300;
}

Gains Consistent(const Format& f, const std::vector<double>& in, const std::vector<double>& out, double reach) {
  Gains g;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == 0 || AtLimit(f, out[i]) || !std::isfinite(out[i])) continue;
    const double t = Tolerance(f, out[i], reach);
    const double a = (out[i] - t) / in[i], b = (out[i] + t) / in[i];
    g.low = std::max(g.low, std::min(a, b));
    g.high = std::min(g.high, std::max(a, b));
  }
  return g;
}

// The gain a fixed mode asks for.
std::optional<double> AskedGain(const Run& run) {
  if (run.mode == Mode::kRatio) return run.value;
  if (run.mode == Mode::kLevel) return std::pow(10.0, run.value / 20);
  return std::nullopt;
}

// -m: the loudest sample of the files becomes the percentage; a positive
// one of an integer format goes no higher than the largest value it holds.
std::optional<double> PercentGain(const Case& c) {
  const Format& f = c.format;
  const double scale = f.is_float() ? 1 : f.full_scale();
  const double target = c.run.value / 100;
  const double ceiling = f.is_float() ? HUGE_VAL : (f.full_scale() - 1) / f.full_scale();
  std::optional<double> lowest;
  for (const Audio& a : c.files) {
    double high = 0, low = 0;
    for (const double v : a.samples) high = std::max(high, v / scale), low = std::max(low, -v / scale);
    if (std::max(high, low) == 0 || Db(std::max(high, low)) < -144) continue;
    const double g = std::min(low > 0 ? target / low : HUGE_VAL, high > 0 ? std::min(target, ceiling) / high : HUGE_VAL);
    lowest = std::min(lowest.value_or(g), g);
  }
  return lowest;
}

// The loudness of TPDF noise of one step, rounded: about a quarter of a
// step's power in every channel, K-weighted as white noise (about +4 dB).
double DitherFloorLufs(const Format& f) {
  const double weights = f.channels > 3 ? f.channels - 1 + 2 * 0.41 : f.channels;
  return -0.691 + 10 * std::log10(weights * 2.4 * 0.25 / (f.full_scale() * f.full_scale()));
}

std::optional<double> Named(const std::string& said, const char* pattern, int group = 1) {
  std::smatch match;
  if (!std::regex_search(said, match, std::regex(pattern))) return std::nullopt;
  return std::stod(match[group]);
}

// Whether a fixed gain, -m's or the one a refusal names would leave an
// integer file silent or constant that was neither, rounding without dither.
bool WouldFlatten(const Case& c, const std::vector<Figures>& before, const std::string& said) {
  const Format& f = c.format;
  if (f.is_float()) return false;
  double loudest = 0;
  for (const Figures& b : before) loudest = std::max(loudest, b.sample_peak);
  const std::optional<double> named = Named(said, R"(a gain of ([-+]\d+\.\d+) dB (would round|rounds) every sample)");
  if (c.run.mode == Mode::kLoudness && !named) return false;
  // The gain named is rounded to hundredths of a dB.
  const double g = named ? std::pow(10.0, (*named - 0.005) / 20) : AskedGain(c.run).value_or(c.run.value / 100 / loudest);
  for (const Audio& a : c.files) {
    std::vector<double> out(a.samples.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = std::clamp(std::nearbyint(a.samples[i] * g), -f.full_scale(), f.full_scale() - 1);
    }
    if ((!Silent(a.samples) && Silent(out)) || (!Constant(a.samples) && Constant(out))) return true;
  }
  return false;
}

struct Checker {
  const Case& c;
  std::vector<std::string>& found;
  const Format& f = c.format;

  void Fail(char property, const std::string& what) { found.push_back(std::string(1, property) + ": " + what); }
  void Near(char property, const char* what, std::optional<double> said, double truth, double tolerance) {
    if (!said || (!std::isfinite(truth) && !std::isfinite(*said))) return;
    if (!(std::fabs(*said - truth) <= tolerance)) {
      Fail(property, std::string(what) + " said " + Text(*said) + ", measured " + Text(truth));
    }
  }

  // (e): every byte outside the samples as it was, but the bext loudness fields.
  void Bytes(const FileRun& r) {
    const auto& in = r.original;
    const auto& out = r.result;
    if (in.size() != out.size()) return Fail('e', "size " + std::to_string(out.size()) + ", was " + std::to_string(in.size()));
    for (std::size_t i = 0; i < in.size(); ++i) {
      const bool sample = i >= r.built.data_offset && i < r.built.data_offset + r.built.data_size;
      const bool bext = r.built.bext_loudness && i >= *r.built.bext_loudness && i < *r.built.bext_loudness + 10;
      if (!sample && !bext && in[i] != out[i]) return Fail('e', "byte " + std::to_string(i) + " changed");
    }
  }

  // (a), (b), (c) for one written file; returns its figures.
  Figures Samples(const FileRun& r, const std::vector<double>& out, const Figures& before, const Figures& after) {
    const std::vector<double>& in = r.audio->samples;
    if (!Silent(in) && Silent(out)) Fail('c', "silent result");
    // Constant at a rail is clipping, which (a) holds to the count.
    if (!Constant(in) && Constant(out) && !AtLimit(f, out.front())) Fail('c', "constant result (" + Text(out.front()) + ")");
    const std::optional<double> promised = c.run.mode == Mode::kPercent ? PercentGain(c) : AskedGain(c.run);
    const Said& s = r.said;
    Near('b', "sample peak before (dBFS)", s.before_peak_db, Db(before.sample_peak), s.gain_precision_db + 1e-9);
    Near('b', "sample peak after (dBFS)", s.after_peak_db, Db(after.sample_peak), s.gain_precision_db + 1e-9);
    // DC has no loudness but the K-weighting's settling, which meters take differently.
    if (r.audio->content != Content::kDc) {
      Near('b', "loudness before (LUFS)", s.before_lufs, before.integrated_lufs, 0.05 + s.gain_precision_db);
      Near('b', "loudness after (LUFS)", s.after_lufs, after.integrated_lufs, 0.05 + s.gain_precision_db);
      Near('b', "loudness as written (LUFS)", s.as_written_lufs, after.integrated_lufs, 0.055);
      Near('b', "loudness under the ceiling (LUFS)", s.ceiling_result_lufs, after.integrated_lufs, 0.055);
    }
    const bool peaky = r.audio->content == Content::kNearNyquist || r.audio->content == Content::kLoneNegativeFullScale;
    // From 96 kHz both meters oversample 2x at most, with filters that differ most there.
    if (!peaky) Near('b', "true peak after (dBTP)", s.after_true_peak, after.true_peak_db, f.rate < 96000 ? 1.0 : 2.0);
    // A limited result is no one gain of its input: its figures above are what it is held to.
    if (Silent(in) || c.run.limit) return after;
    // Dithered: integers of 16 valid bits or fewer at a gain that is no whole number.
    const bool whole = promised && *promised == std::trunc(*promised);
    const double reach = !f.is_float() && f.valid_bits <= 16 && c.run.dither && !whole ? 1.5 : 0.5;
    Gains g = Consistent(f, in, out, reach);
    if (promised && !(g.low <= *promised + std::fabs(*promised) * 1e-12 && *promised - std::fabs(*promised) * 1e-12 <= g.high)) {
      g.empty() ? Fail('a', "no one gain keeps every sample within reach")
                : Fail('a', "the samples say a gain of " + Text(g.low) + " to " + Text(g.high) + ", not " + Text(*promised));
    } else if (!promised && g.empty()) {
      Fail('a', "no one gain keeps every sample within " + Text(reach) + " steps of its input's product");
    }
    if (promised) g = Gains{*promised, *promised};
    if (g.empty() || !std::isfinite(g.width())) return after;
    if (s.gain_db) {
      const double low = Db(std::min(std::fabs(g.low), std::fabs(g.high))), high = Db(std::max(std::fabs(g.low), std::fabs(g.high)));
      if (*s.gain_db < low - s.gain_precision_db - 1e-9 || *s.gain_db > high + s.gain_precision_db + 1e-9) {
        Fail('b', "gain said " + Text(*s.gain_db) + " dB, the samples say " + Text(low) + " to " + Text(high));
      }
    }
    double largest_move = 0;
    std::uint64_t certain_clips = 0, possible_clips = 0, moved = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
      const double p = in[i] * g.middle();
      largest_move = std::max(largest_move, std::fabs(p - in[i]) + std::fabs(in[i]) * g.width() / 2);
      moved += out[i] != in[i];
      const double tolerance = Tolerance(f, p, reach) + std::fabs(in[i]) * g.width() / 2;
      const double high = f.is_float() ? (f.container_bits == 32 ? FLT_MAX : DBL_MAX) : f.full_scale() - 1;
      const double low = f.is_float() ? -high : -f.full_scale();
      certain_clips += p > high + tolerance || p < low - tolerance;
      possible_clips += AtLimit(f, out[i]) && (p >= high - tolerance || p <= low + tolerance);
    }
    if (s.clipped && (*s.clipped < double(certain_clips) || *s.clipped > double(possible_clips))) {
      Fail('a', "clipped said " + Text(*s.clipped) + ", between " + std::to_string(certain_clips) + " and " +
                    std::to_string(possible_clips) + " found");
    }
    const double most = std::max(std::fabs(g.low - 1), std::fabs(g.high - 1));
    // A fixed gain (-a, -l) is dithered without the input's extremes known:
    // its noise may move samples the rounding alone would leave.
    const bool dithered_blind = !f.is_float() && c.run.dither && AskedGain(c.run);
    const bool moves_none = f.is_float() ? most < (f.container_bits == 32 ? 0x1p-25 : 0x1p-54)
                                         : largest_move < 0.5 && !dithered_blind;
    if (moves_none && moved) Fail('a', "a gain of " + Text(g.middle()) + " moves no sample, yet " + std::to_string(moved) + " moved");
    if (c.run.in_place && r.replaced && r.result == r.original) Fail('a', "rewritten in place with the same bytes");
    return after;
  }
};

}  // namespace

std::vector<std::string> CheckRun(const Case& c, const std::vector<FileRun>& files, int exit_code,
                                  const std::string& said) {
  std::vector<std::string> found;
  Checker check{c, found};
  const Format& f = c.format;
  const Run& run = c.run;
  std::vector<Figures> before, after;
  bool all_silent = true, all_quiet = true, any_written = false, unchanged_samples = true;
  double loudest_after = 0, clipped = 0;
  bool held = false, left_alone = false;
  for (const FileRun& r : files) {
    before.push_back(Measure(f, r.audio->samples));
    all_silent = all_silent && (before.back().sample_peak == 0 || Db(before.back().sample_peak) < -144);
    all_quiet = all_quiet && !(before.back().integrated_lufs >= -69.5);
    held = held || r.said.ceiling_held;
    left_alone = left_alone || r.said.left_alone;
    clipped += r.said.clipped.value_or(0);
    if (r.result.empty()) {
      after.push_back(before.back());
      if (exit_code == 0 && r.replaced) check.Fail('d', "replaced, but nothing to read");
      continue;
    }
    any_written = true;
    check.Bytes(r);
    std::uint64_t stray = 0;
    const std::vector<double> out = Decode(c, r.built, r.result, &stray);
    if (stray) check.Fail('a', std::to_string(stray) + " samples have bits below the valid ones");
    if (out.size() != r.audio->samples.size()) {
      check.Fail('e', "sample count changed");
      continue;
    }
    unchanged_samples = unchanged_samples && out == r.audio->samples;
    after.push_back(check.Samples(r, out, before.back(), Measure(f, out)));
    loudest_after = std::max(loudest_after, after.back().sample_peak);
    if (r.built.bext_loudness && r.replaced) {
      const auto at = *r.built.bext_loudness;
      const auto field = static_cast<std::int16_t>(r.result[at] | r.result[at + 1] << 8);
      // 0x7FFF: not set (a result below the gate has no loudness; a field unset stays so).
      if (field != 0x7FFF && std::fabs(after.back().integrated_lufs) < 327) {
        check.Near('b', "bext loudness (LUFS)", field / 100.0, after.back().integrated_lufs, 0.06);
      }
    }
  }
  if (exit_code != 0) {
    if (any_written) check.Fail('d', "exit code " + std::to_string(exit_code) + " with a file written");
    const bool beyond_floor = run.mode == Mode::kLoudness && !f.is_float() && run.value < DitherFloorLufs(f) + 6;
    // Steps so coarse that the loudness jumps across the target, both sides named.
    const std::optional<double> below = Named(said, R"(measure (-?\d+\.\d+) or (-?\d+\.\d+) LUFS at the nearest)", 1);
    const std::optional<double> above = Named(said, R"(measure (-?\d+\.\d+) or (-?\d+\.\d+) LUFS at the nearest)", 2);
    // Reaching the target would take samples past full scale.
    bool needs_clipping = false;
    for (const Figures& b : before) {
      needs_clipping = needs_clipping || b.sample_peak * std::pow(10.0, (run.value - b.integrated_lufs) / 20) > 1;
    }
    const bool near_steps = run.value < -6.0206 * (f.valid_bits - 1) + 50;
    const bool jumps = run.mode == Mode::kLoudness && !f.is_float() && near_steps && below && above &&
                       *below < run.value - 0.095 && *above > run.value + 0.095;  // said to hundredths
    const bool expected = (exit_code == 11 && run.mode == Mode::kLoudness && all_quiet) ||
                          (exit_code == 7 && run.mode == Mode::kPercent && all_silent) ||
                          (exit_code == kBeyondFormatCode && (beyond_floor || jumps || (needs_clipping && run.mode == Mode::kLoudness) ||
                                                WouldFlatten(c, before, said) ||
                                                (run.limit && near_steps && said.find("limited and written at its steps") != std::string::npos)));
    if (!expected) check.Fail('d', "exit code " + std::to_string(exit_code) + ": " + said.substr(0, 300));
    return found;
  }
  if (!any_written || unchanged_samples) {
    if (run.mode == Mode::kLoudness && left_alone && !held && files.size() == 1 && c.files[0].content != Content::kDc) {
      check.Near('d', "left alone, target (LUFS)", run.value, before[0].integrated_lufs, 0.1);
    }
    return found;
  }
  // (d): the promise of a run that exits 0.
  if (run.mode == Mode::kPercent) {
    const double tolerance = f.is_float() ? 1e-6 : 1.01 / f.full_scale();
    check.Near('d', "-m peak (fraction)", run.value / 100, loudest_after, tolerance);
  } else if (run.mode == Mode::kLoudness && clipped == 0 && files.size() == 1 && c.files[0].content != Content::kDc &&
             run.value > -69.9) {  // at the gate a result may fall either side of it
    const double lufs = after[0].integrated_lufs;
    if (run.limit) {
      // On target, or short of it and said so (the JSON's "after" is held to the file above).
      const Said& s = files[0].said;
      const bool told_short = s.line.find("short of") != std::string::npos || (s.after_lufs && *s.after_lufs < run.value - 0.1);
      if (!(lufs <= run.value + 0.1)) check.Fail('d', "limited, yet louder: " + Text(lufs));
      if (lufs < run.value - 0.1 && !told_short) check.Fail('d', "limited, short of the target, and not said: " + Text(lufs));
      if (!(after[0].true_peak_db <= *run.ceiling_dbtp + 0.2)) {
        check.Fail('d', "limited, yet its true peak " + Text(after[0].true_peak_db) + " is over the ceiling");
      }
      return found;
    }
    if (!held) check.Near('d', "--loudness target (LUFS)", run.value, lufs, 0.1);
    if (held && !(lufs <= run.value + 0.1)) check.Fail('d', "held by the ceiling, yet louder: " + Text(lufs));
    if (held && !(after[0].true_peak_db <= *run.ceiling_dbtp + 0.2)) {
      check.Fail('d', "true peak " + Text(after[0].true_peak_db) + " over the ceiling");
    }
  }
  return found;
}

}  // namespace normalize::test::claims
