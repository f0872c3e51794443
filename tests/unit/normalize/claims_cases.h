#pragma once
// The claims oracle's cases: from one seed, files in a layout the tool reads
// (every depth, valid bits below the container, floats, EXTENSIBLE, RF64, 1 to
// 8 channels, 8 to 192 kHz) with content chosen to hurt (silence, DC, both
// full-scale extremes, a lone -full-scale sample, tones near Nyquist, noise,
// shorter than one 400 ms block, long), and a run of the tool over them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wav_fixture.h"

namespace normalize::test::claims {

// SplitMix64: the same numbers from a seed on every platform and library.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  double Uniform();                      // [0, 1)
  double Uniform(double low, double high);
  int Int(int low, int high);            // [low, high]
  bool Chance(double p) { return Uniform() < p; }

 private:
  std::uint64_t state_;
};

enum class Encoding { kUnsigned, kSigned, kFloat };

struct Format {
  Encoding encoding = Encoding::kSigned;
  unsigned container_bits = 16;
  unsigned valid_bits = 16;
  unsigned channels = 1;
  unsigned rate = 8000;
  bool extensible = false;
  bool rf64 = false;
  bool is_float() const { return encoding == Encoding::kFloat; }
  unsigned bytes() const { return container_bits / 8; }
  // Integers: the number of steps in full scale (2^(valid bits - 1)).
  double full_scale() const;
};

enum class Content { kSilence, kDc, kFullScale, kLoneNegativeFullScale, kNearNyquist, kNoise, kTone, kQuietTone };

// One file: its samples interleaved, integers as values in units of the valid
// bits (-full_scale .. full_scale - 1), floats as they are.
struct Audio {
  Content content = Content::kTone;
  double level_db = 0;
  std::vector<double> samples;
};

enum class Mode { kRatio, kLevel, kPercent, kLoudness };

struct Run {
  Mode mode = Mode::kPercent;
  double value = 100;  // the ratio, the level, the percentage or the target
  std::optional<double> ceiling_dbtp;
  bool limit = false;  // --limit, with a ceiling
  bool album = false;
  bool in_place = true;
  bool dither = true;
  bool json = false;
  bool dry_run_first = false;  // -n first: it must say what the real run then does
  bool rerun = false;          // the same command again on the result
  bool twins = false;          // the same audio under another name; other audio under the same name
  std::vector<std::string> Arguments() const;  // the mode's options, without files
};

struct Case {
  std::uint64_t seed = 0;
  Format format;
  std::vector<Audio> files;  // one, or an album's
  Run run;
  bool list_chunk = false;     // a chunk before the data, and one after it
  bool bext = false;           // a bext chunk of version 2 with loudness fields set
};

Case Generate(std::uint64_t seed);
// Rounds a fraction of full scale to what the format holds (integers clamped).
double Held(const Format& f, double fraction);
// Other audio of the same format and length (a twin's), from `seed`.
Audio OtherAudio(const Case& c, std::uint64_t seed);
std::string Describe(const Case& c);

// A file built from `audio`, with where its samples are.
struct Built {
  Bytes bytes;
  std::size_t data_offset = 0;  // of the first sample
  std::size_t data_size = 0;
  std::optional<std::size_t> bext_loudness;  // offset of the five bext loudness fields
};
Built Build(const Case& c, const Audio& audio);

// Samples of a file laid out as `built` (integers checked to keep the bits
// below the valid ones zero: `stray_low_bits` counts those that do not).
std::vector<double> Decode(const Case& c, const Built& built, const Bytes& file, std::uint64_t* stray_low_bits);

}  // namespace normalize::test::claims
