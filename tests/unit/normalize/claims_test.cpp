// The claims oracle over generated cases: the real program on files in every
// layout the reader takes, each run held to its word (claims_oracle.h).
//
// In the suite: a fixed set of seeded cases, in shards that run side by side.
// QUILBO_CLAIMS_SECONDS=600 runs each shard on new random seeds for that long
// instead (the seeds are printed, so that any failure reproduces);
// QUILBO_CLAIMS_SEED=<n> runs the one case of seed n (with QUILBO_CLAIMS_KEEP=<folder>,
// its inputs are also written there).
#include <gtest/gtest.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>

#include "claims_cases.h"
#include "claims_oracle.h"

namespace normalize::test::claims {
namespace {

constexpr int kShards = 4;
constexpr int kCasesPerShard = 80;

// Runs `c`; what it finds fails the test.
void Hold(const Case& c, int& failures) {
  std::string report;
  for (const std::string& v : RunCase(c)) report += "\n  " + v;
  if (!report.empty() && ++failures <= 20) ADD_FAILURE() << Describe(c) << report;
}

// Seeds whose cases the long runs found faults in, kept once mended.
constexpr std::uint64_t kFoundSeeds[] = {
    3679979189905534, 3679979189905694,                    // DC raised to a rail by dither, then constant
    3648913585708598,                                      // an 8-bit target only clipping would reach
    3679979189905042, 3679979189905162, 3648913585708626,  // an album's quiet track, its figures predicted
    3679979189905690, 3648913585708606, 3648913585709142,  // -m twice on floats
    364133752398140,  364133752398156,  364133752400312,   // -m twice on fewer valid bits than the container
    364133752400320,  364133752401076,                     // a float beyond the bext field; a held target
    2508523341547884,                                      // a bext field a result below the gate left unset
    2508523341553348, 4248640768888502,                    // 12 bits at 96 kHz: meters apart; 8 bits left alone
    364133752398484,  364133752399184,  1758691007059666,  // 16-bit targets whose steps jump across them
    1758691007059770, 1758691007057814,
};
// Found since --limit is drawn, which they keep.
constexpr std::uint64_t kFoundLimitSeeds[] = {
    3357269576780383, 3682853612530125,  // an album's limited track: its figures after were foretold, not measured
    3523377979102903, 3523377979106287,  // the sample peak after, from the measuring rather than the samples written
    772249796745901,  3646104822283791,  // the album's line names the tracks it limited
    3804449072318186,                    // a limited result far short of its target, measured before rounding
    1192710292121080, 1192710292121228,  // an album's track whose blocks the gain moves across a gate
    935748209237443,                     // the dry run of a gain that rounds a file to silence
    3804449072322982, 1192710292121208,  // a fixed gain dithered blindly moves samples the rounding would not
    2024634154884657,                    // a limited result on coarse steps above its target
    1882379441124241,                    // a target at the gate itself
    2024634154891749,                    // steps said to hundredths, one of them 0.1 LU from the target
};

Format MakeFormat(Encoding encoding, unsigned container, unsigned valid, unsigned channels, unsigned rate) {
  return Format{encoding, container, valid, channels, rate, container != valid || channels > 2, false};
}

// A sine (or uniform noise, `hz` 0) in every channel at `level_db` peak.
Audio Sound(const Format& f, double seconds, double level_db, double hz = 440) {
  Audio audio;
  audio.content = hz ? Content::kTone : Content::kNoise;
  audio.level_db = level_db;
  Rng rng(7);
  const auto frames = static_cast<std::size_t>(seconds * f.rate);
  for (std::size_t i = 0; i < frames * f.channels; ++i) {
    const double x = hz ? std::sin(2 * 3.141592653589793 * hz * double(i / f.channels) / f.rate) : rng.Uniform(-1, 1);
    audio.samples.push_back(Held(f, std::pow(10.0, level_db / 20) * x));
  }
  return audio;
}

Run Command(Mode mode, double value, void (*more)(Run&) = nullptr) {
  Run run;
  run.mode = mode;
  run.value = value;
  if (more) more(run);
  return run;
}

// The audit's own reports, as the oracle's cases.
std::vector<Case> AuditCases() {
  const Format s16in32 = MakeFormat(Encoding::kSigned, 32, 16, 2, 48000);
  const Format u8 = MakeFormat(Encoding::kUnsigned, 8, 8, 1, 48000);
  const Format u8_stereo = MakeFormat(Encoding::kUnsigned, 8, 8, 2, 48000);
  const Format u8_11k = MakeFormat(Encoding::kUnsigned, 8, 8, 1, 11025);
  const Format f32 = MakeFormat(Encoding::kFloat, 32, 32, 2, 44100);
  const Format s16 = MakeFormat(Encoding::kSigned, 16, 16, 2, 48000);
  Audio lone = Sound(s16in32, 2, -20);
  lone.samples[1001] = -s16in32.full_scale();
  Audio huge = Sound(MakeFormat(Encoding::kFloat, 32, 32, 1, 8000), 1, 0);
  for (double& v : huge.samples) v = static_cast<float>(v * 1e35);
  const auto json = [](Run& r) { r.json = true; };
  const auto dry = [](Run& r) { r.dry_run_first = true; };
  const auto copy_twice = [](Run& r) { r.in_place = false, r.rerun = true; };
  const auto twice = [](Run& r) { r.rerun = true; };
  const auto twins = [](Run& r) { r.twins = true; };
  const auto plain = [](Run& r) { r.dither = false; };
  std::vector<Case> cases = {
      {1, s16in32, {lone}, Command(Mode::kLoudness, -20)},
      {2, u8, {Sound(u8, 10, -12)}, Command(Mode::kLoudness, -60, dry)},
      {3, u8_stereo, {Sound(u8_stereo, 10, -12)}, Command(Mode::kLoudness, -50, dry)},
      {4, u8, {Sound(u8, 10, -12)}, Command(Mode::kLoudness, -40)},
      {5, u8_stereo, {Sound(u8_stereo, 10, -12, 0)}, Command(Mode::kLoudness, -40)},
      {6, u8_11k, {Sound(u8_11k, 1.6, -3, 0)}, Command(Mode::kLoudness, -30)},
      {7, u8, {Sound(u8, 2, 20 * std::log10(0.9))}, Command(Mode::kPercent, 90, copy_twice)},
      {8, f32, {Sound(f32, 2, -6, 0)}, Command(Mode::kPercent, 90, twice)},
      {9, f32, {Sound(f32, 2, -6, 0)}, Command(Mode::kPercent, 37, twice)},
      {10, s16, {Sound(s16, 2, -20, 0)}, Command(Mode::kLevel, -3, twins)},
      {11, MakeFormat(Encoding::kFloat, 32, 32, 1, 8000), {huge}, Command(Mode::kLevel, 100, json)},
      {12, MakeFormat(Encoding::kSigned, 16, 16, 1, 8000), {Sound(s16, 1, -10)}, Command(Mode::kLevel, -100, plain)},
  };
  return cases;
}

TEST(Claims, TheAuditsCasesAndTheSeedsFoundKeepTheirWord) {
  int failures = 0;
  for (const Case& c : AuditCases()) Hold(c, failures);
  for (const std::uint64_t seed : kFoundSeeds) {
    Case c = Generate(seed);
    c.run.limit = false;  // as the seed was found
    Hold(c, failures);
  }
  for (const std::uint64_t seed : kFoundLimitSeeds) Hold(Generate(seed), failures);
}

class Claims : public testing::TestWithParam<int> {};

TEST_P(Claims, EveryRunKeepsItsWord) {
  int failures = 0, cases = 0;
  if (const char* seed = std::getenv("QUILBO_CLAIMS_SEED")) {
    if (GetParam() != 0) return;
    const Case c = Generate(std::strtoull(seed, nullptr, 10));
    std::printf("%s\n", Describe(c).c_str());
    Hold(c, failures);
    return;
  }
  if (const char* seconds = std::getenv("QUILBO_CLAIMS_SECONDS")) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(seconds));
    const std::uint64_t base = std::random_device{}() * std::uint64_t{1000003} + GetParam();
    std::printf("shard %d: seeds %llu + k * %d\n", GetParam(), static_cast<unsigned long long>(base), kShards);
    for (std::uint64_t k = 0; std::chrono::steady_clock::now() < end; ++k, ++cases) {
      Hold(Generate(base + k * kShards), failures);
    }
  } else {
    for (int k = 0; k < kCasesPerShard; ++k, ++cases) Hold(Generate(std::uint64_t(k) * kShards + GetParam() + 1), failures);
  }
  std::printf("shard %d: %d cases, %d failed\n", GetParam(), cases, failures);
}

INSTANTIATE_TEST_SUITE_P(Shards, Claims, testing::Range(0, kShards));

}  // namespace
}  // namespace normalize::test::claims
