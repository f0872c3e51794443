#include "claims_cases.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace normalize::test::claims {

std::uint64_t Rng::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

double Rng::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
double Rng::Uniform(double low, double high) { return low + (high - low) * Uniform(); }
int Rng::Int(int low, int high) { return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1)); }

double Format::full_scale() const { return std::ldexp(1.0, static_cast<int>(valid_bits) - 1); }

namespace {

template <typename T, std::size_t N>
const T& Pick(Rng& rng, const T (&list)[N]) {
  return list[rng.Int(0, static_cast<int>(N) - 1)];
}

Format MakeFormat(Rng& rng) {
  struct Depth {
    Encoding encoding;
    unsigned container, valid;
  };
  static const Depth kDepths[] = {
      {Encoding::kUnsigned, 8, 8}, {Encoding::kSigned, 16, 16}, {Encoding::kSigned, 24, 24},
      {Encoding::kSigned, 32, 32}, {Encoding::kSigned, 16, 12}, {Encoding::kSigned, 24, 16},
      {Encoding::kSigned, 24, 20}, {Encoding::kSigned, 32, 16}, {Encoding::kSigned, 32, 24},
      {Encoding::kFloat, 32, 32},  {Encoding::kFloat, 64, 64},
  };
  static const unsigned kChannels[] = {1, 1, 2, 2, 2, 6, 8};
  static const unsigned kRates[] = {8000, 11025, 16000, 22050, 44100, 48000, 48000, 96000, 192000};
  const Depth& depth = Pick(rng, kDepths);
  Format f;
  f.encoding = depth.encoding;
  f.container_bits = depth.container;
  f.valid_bits = depth.valid;
  f.channels = Pick(rng, kChannels);
  f.rate = Pick(rng, kRates);
  f.extensible = depth.valid != depth.container || rng.Chance(0.4);
  f.rf64 = rng.Chance(0.12);
  return f;
}

std::uint64_t Frames(Rng& rng, const Format& f) {
  const double total_rate = double(f.rate) * f.channels;
  double seconds;
  if (rng.Chance(0.15)) {
    seconds = rng.Uniform(0.002, 0.39);  // shorter than one 400 ms block
  } else if (rng.Chance(0.04)) {
    seconds = std::max(0.5, 1.6e6 / total_rate);  // long: many buffers, measured in parts
  } else {
    seconds = rng.Uniform(0.42, total_rate > 400e3 ? 0.8 : 2.0);
  }
  return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(seconds * f.rate));
}

}  // namespace

double Held(const Format& f, double fraction) {
  if (f.is_float()) {
    return f.container_bits == 32 ? static_cast<double>(static_cast<float>(fraction)) : fraction;
  }
  const double fs = f.full_scale();
  return std::clamp(std::nearbyint(fraction * fs), -fs, fs - 1);
}

namespace {

Audio MakeAudio(Rng& rng, const Format& f, std::uint64_t frames) {
  static const Content kContents[] = {
      Content::kSilence,   Content::kDc,   Content::kFullScale, Content::kLoneNegativeFullScale, Content::kNearNyquist,
      Content::kNoise,     Content::kTone, Content::kTone,      Content::kNoise,                 Content::kQuietTone};
  Audio audio;
  audio.content = Pick(rng, kContents);
  audio.level_db = audio.content == Content::kQuietTone ? rng.Uniform(-80, -40)
                   : f.is_float() && rng.Chance(0.1) ? rng.Uniform(0, 12)
                                                     : rng.Uniform(-40, 0);
  const double amplitude = std::pow(10.0, audio.level_db / 20);
  const double quiet = std::pow(10.0, rng.Uniform(-60, -40) / 20);
  const double rate = f.rate;
  const double frequency = audio.content == Content::kNearNyquist ? rate * rng.Uniform(0.45, 0.4995)
                                                                  : rng.Uniform(40, std::min(5000.0, rate * 0.4));
  const std::uint64_t lone = rng.Next() % frames;
  audio.samples.resize(frames * f.channels);
  for (unsigned ch = 0; ch < f.channels; ++ch) {
    const double phase = rng.Uniform(0, 2 * std::numbers::pi);
    const double sign = rng.Chance(0.5) ? 1 : -1;
    for (std::uint64_t i = 0; i < frames; ++i) {
      const double sine = std::sin(2 * std::numbers::pi * frequency * double(i) / rate + phase);
      double x = 0;
      switch (audio.content) {
        case Content::kSilence: break;
        case Content::kDc: x = sign * amplitude; break;
        case Content::kFullScale: x = std::clamp(1.5 * sine, -1.0, 1.0); break;
        case Content::kLoneNegativeFullScale: x = i == lone && ch == 0 ? -1.0 : quiet * sine; break;
        case Content::kNoise: x = amplitude * (rng.Uniform() + rng.Uniform() - 1); break;
        default: x = amplitude * sine; break;
      }
      audio.samples[i * f.channels + ch] = Held(f, x);
    }
  }
  return audio;
}

Run MakeRun(Rng& rng) {
  Run run;
  const double pick = rng.Uniform();
  static const double kFarLevels[] = {-100, -60, 60, 100};
  static const double kRatios[] = {-4, -3, -2, -1, 1, 2, 3, 4, -100, 50};
  if (pick < 0.15) {
    run.mode = Mode::kRatio;
    run.value = Pick(rng, kRatios);
  } else if (pick < 0.35) {
    run.mode = Mode::kLevel;
    run.value = rng.Chance(0.08) ? Pick(rng, kFarLevels) : rng.Int(-24, 24);
  } else if (pick < 0.6) {
    run.mode = Mode::kPercent;
    run.value = rng.Chance(0.35) ? 100 : rng.Int(1, 99);
  } else {
    run.mode = Mode::kLoudness;
    const double kind = rng.Uniform();
    const double target = kind < 0.55 ? rng.Uniform(-35, -10) : kind < 0.85 ? rng.Uniform(-70, -40) : rng.Uniform(-9, 0);
    run.value = std::round(target * 10) / 10;
    if (rng.Chance(0.35)) run.ceiling_dbtp = rng.Chance(0.1) ? -20 : std::round(rng.Uniform(-6, 0) * 10) / 10;
  }
  run.album = (run.mode == Mode::kPercent || run.mode == Mode::kLoudness) && rng.Chance(0.15);
  run.in_place = run.album || rng.Chance(0.5);
  run.dither = rng.Chance(0.75);
  run.json = rng.Chance(0.5);
  run.dry_run_first = rng.Chance(0.1);
  run.rerun = rng.Chance(0.15);
  run.twins = !run.album && rng.Chance(0.1);
  return run;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value == std::round(value) ? "%.0f" : "%.1f", value);
  return text;
}

}  // namespace

std::vector<std::string> Run::Arguments() const {
  static const char* const kOptions[] = {"-l", "-a", "-m", "--loudness"};
  std::vector<std::string> args = {kOptions[static_cast<int>(mode)], Number(value)};
  if (ceiling_dbtp) args.insert(args.end(), {"--true-peak", Number(*ceiling_dbtp)});
  if (limit) args.push_back("--limit");
  if (album) args.push_back("--album");
  if (!dither) args.insert(args.end(), {"--dither", "none"});
  if (json) args.push_back("--json");
  return args;
}

Case Generate(std::uint64_t seed) {
  Rng rng(seed);
  Case c;
  c.seed = seed;
  c.format = MakeFormat(rng);
  c.run = MakeRun(rng);
  const std::uint64_t frames = Frames(rng, c.format);
  const int files = c.run.album ? rng.Int(2, 3) : 1;
  for (int i = 0; i < files; ++i) c.files.push_back(MakeAudio(rng, c.format, frames));
  // Floats far beyond full scale, for gains whose products pass the largest float.
  const bool fixed_gain = c.run.mode == Mode::kRatio || c.run.mode == Mode::kLevel;
  if (fixed_gain && c.format.is_float() && c.format.container_bits == 32 && rng.Chance(0.15)) {
    c.files[0].level_db += 680;
    for (double& v : c.files[0].samples) v = static_cast<float>(v * 1e34);
  }
  c.list_chunk = rng.Chance(0.25);
  c.bext = rng.Chance(0.15);
  // Drawn last, so that a seed kept before --limit was drawn gives the case it gave.
  c.run.limit = c.run.ceiling_dbtp && rng.Chance(0.4);
  return c;
}

Audio OtherAudio(const Case& c, std::uint64_t seed) {
  Rng rng(seed);
  Audio audio;
  do {
    audio = MakeAudio(rng, c.format, c.files[0].samples.size() / c.format.channels);
  } while (audio.content == Content::kSilence || audio.content == Content::kDc);
  return audio;
}

std::string Describe(const Case& c) {
  static const char* const kContents[] = {"silence", "DC", "full scale", "lone -FS", "near Nyquist",
                                          "noise",   "tone", "quiet tone"};
  const Format& f = c.format;
  std::string text = "seed " + std::to_string(c.seed) + ": " +
                     (f.is_float() ? "float" : f.encoding == Encoding::kUnsigned ? "u" : "s") +
                     std::to_string(f.valid_bits) + "-in-" + std::to_string(f.container_bits) + " " +
                     std::to_string(f.channels) + "ch " + std::to_string(f.rate) + " Hz" +
                     (f.extensible ? " extensible" : "") + (f.rf64 ? " RF64" : "") + ", " +
                     std::to_string(c.files[0].samples.size() / f.channels) + " frames,";
  for (const Audio& a : c.files) text += std::string(" ") + kContents[static_cast<int>(a.content)] + " at " + Number(a.level_db) + " dB";
  text += "; normalize";
  for (const std::string& arg : c.run.Arguments()) text += " " + arg;
  text += c.run.in_place ? " (in place)" : " -o";
  if (c.run.dry_run_first) text += ", -n first";
  if (c.run.rerun) text += ", rerun";
  if (c.run.twins) text += ", twins";
  if (c.bext) text += ", bext";
  if (c.list_chunk) text += ", LIST";
  return text;
}

}  // namespace normalize::test::claims
