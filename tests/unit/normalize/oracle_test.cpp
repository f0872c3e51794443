// The tool's arithmetic against sox: sox writes the inputs in every supported
// format and decodes our results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "program_run.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

struct Format {
  const char* name;
  const char* sox_encoding;  // sox's -e
  int bits;
  int channels;  // sox writes WAVE_FORMAT_EXTENSIBLE above 2 channels or 16 bits
  bool is_float;
};

const Format kFormats[] = {
    {"u8 mono", "unsigned-integer", 8, 1, false},
    {"s16 stereo", "signed-integer", 16, 2, false},
    {"s16 3ch extensible", "signed-integer", 16, 3, false},
    {"s24 stereo extensible", "signed-integer", 24, 2, false},
    {"s32 mono extensible", "signed-integer", 32, 1, false},
    {"f32 stereo", "floating-point", 32, 2, true},
    {"f64 mono", "floating-point", 64, 1, true},
};

// A tone peaking near -10 dBFS, shifted so that its positive and negative peaks differ.
std::string MakeInput(const ScratchDir& dir, const Format& f) {
  const std::string path = dir / "in.wav";
  Sox({"-n", "-r", "8000", "-c", std::to_string(f.channels), "-b", std::to_string(f.bits), "-e", f.sox_encoding, path,
       "synth", "0.25", "sine", "300", "gain", "-10", "dcshift", "0.01"});
  return path;
}

// Integer value of a sample in the format's own range, from sox's 32-bit word.
std::int64_t Value(std::int32_t word, int bits) { return word >> (32 - bits); }

double PeakOf(const std::vector<std::int32_t>& samples) {
  double peak = 0;
  for (std::int32_t s : samples) peak = std::max(peak, std::fabs(s / 2147483648.0));
  return peak;
}

std::uint64_t ClippedIn(const std::string& summary) {
  std::smatch match;
  const bool found = std::regex_search(summary, match, std::regex(R"((\d+) clipped)"));
  EXPECT_TRUE(found) << summary;
  return found ? std::stoull(match[1]) : 0;
}

// Everything outside the data chunk's payload is unchanged.
void ExpectOnlyDataChanged(const Bytes& in, const Bytes& out) {
  ASSERT_EQ(in.size(), out.size());
  const auto chunks = ListChunks(in);
  const auto data = std::find_if(chunks.begin(), chunks.end(), [](const FoundChunk& c) { return c.id == "data"; });
  ASSERT_NE(data, chunks.end());
  EXPECT_TRUE(std::equal(in.begin(), in.begin() + data->offset, out.begin()));
  EXPECT_TRUE(std::equal(in.begin() + data->offset + data->size, in.end(), out.begin() + data->offset + data->size));
}

TEST(NormalizeOracle, RatioIsSampleExactAndClampsIntegers) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    ScratchDir dir;
    const std::string in = MakeInput(dir, f);
    const std::string out = dir / "out.wav";
    // -4 drives the -10 dBFS peaks past full scale and flips the sign.
    const int ratio = f.is_float ? -2 : -4;
    const RunResult run = RunTool({"-l", std::to_string(ratio), "-o", out, in});
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    ExpectOnlyDataChanged(ReadBytes(in), ReadBytes(out));
    // Reading the input block by block, as where it cannot be mapped, gives the same file.
    const RunResult read_run = RunTool({"-l", std::to_string(ratio), "-o", dir / "read.wav", in}, {}, false);
    ASSERT_EQ(read_run.code, ExitCode::kOk) << read_run.err;
    EXPECT_EQ(ReadBytes(dir / "read.wav"), ReadBytes(out));
    EXPECT_EQ(read_run.out.substr(0, read_run.out.find("written")), run.out.substr(0, run.out.find("written")));

    const auto before = SoxSamples(in);
    const auto after = SoxSamples(out);
    ASSERT_EQ(before.size(), after.size());
    std::uint64_t clamps = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (f.is_float) {
        // sox reads floats as 32-bit fixed point: exact to its last step.
        ASSERT_NEAR(double(after[i]), double(before[i]) * ratio, 2.0) << i;
        continue;
      }
      const std::int64_t low = -(std::int64_t{1} << (f.bits - 1));
      const std::int64_t high = -low - 1;
      const std::int64_t exact = Value(before[i], f.bits) * ratio;
      clamps += exact < low || exact > high;
      ASSERT_EQ(Value(after[i], f.bits), std::clamp(exact, low, high)) << i;
    }
    EXPECT_EQ(ClippedIn(run.out), clamps);
    if (!f.is_float) {
      EXPECT_GT(clamps, 0u);
    }
  }
}

TEST(NormalizeOracle, LevelAndPercentReachThePeakSoxMeasures) {
  struct Case {
    std::vector<std::string> option;
    double expected_peak;  // < 0: the input's peak times this factor's magnitude
  };
  const Case cases[] = {
      {{"-a", "-6"}, -std::pow(10.0, -6 / 20.0)},
      {{"-a", "7"}, -std::pow(10.0, 7 / 20.0)},
      {{"-m", "50"}, 0.5},
      {{"-m", "100"}, 1.0},
  };
  for (const Format& f : kFormats) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(f.name) + " " + c.option[0] + " " + c.option[1]);
      ScratchDir dir;
      const std::string in = MakeInput(dir, f);
      const std::string out = dir / "out.wav";
      std::vector<std::string> args = c.option;
      args.insert(args.end(), {"-o", out, in});
      const RunResult run = RunTool(args);
      ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
      EXPECT_EQ(ClippedIn(run.out), 0u);

      const double in_peak = PeakOf(SoxSamples(in));
      const double expected = c.expected_peak < 0 ? in_peak * -c.expected_peak : c.expected_peak;
      // Half a step of the format; floats pass through sox's 32-bit fixed point.
      const double half_step = f.is_float ? 1e-6 : std::ldexp(1.0, -f.bits);
      // At 100% the positive peak of an integer format stops one step short.
      const double ceiling_slack = c.expected_peak == 1.0 && !f.is_float ? 2 * half_step : 0;
      // -a knows no peak to hold: the dither of 16 bits and fewer may move it by a step.
      const double dither_slack = c.expected_peak < 0 && !f.is_float && f.bits <= 16 ? 2 * half_step : 0;
      EXPECT_NEAR(PeakOf(SoxSamples(out)), expected, half_step + ceiling_slack + dither_slack);
    }
  }
}

TEST(NormalizeOracle, FloatsAreScaledNotClipped) {
  ScratchDir dir;
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "32", "-e", "floating-point", dir / "in.wav", "synth", "0.1", "sine", "300",
       "gain", "-1"});
  const RunResult run = RunTool({"-a", "12", dir / "in.wav"});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_EQ(ClippedIn(run.out), 0u);
  // Read back ourselves: sox would clip on reading.
  const Bytes out = ReadBytes(dir / "in.wav");
  const auto data = ListChunks(out).back();
  float peak = 0;
  for (std::size_t i = 0; i < data.size; i += 4) {
    float v;
    std::memcpy(&v, &out[data.offset + i], 4);
    peak = std::max(peak, std::fabs(v));
  }
  EXPECT_NEAR(peak, std::pow(10.0, 11 / 20.0), 1e-3);
}

TEST(NormalizeOracle, SilenceAndThresholdLeaveTheFileUntouched) {
  struct Case {
    std::vector<std::string> args;
    bool silent;
    ExitCode code;
  };
  const Case cases[] = {
      {{"-m", "100"}, true, ExitCode::kSilent},
      {{"-m", "100", "-x", "12"}, false, ExitCode::kBelowThreshold},  // the gain is about +10 dB
      {{"-a", "3", "-x", "4"}, false, ExitCode::kBelowThreshold},
      {{"-l", "-1", "-x", "0"}, false, ExitCode::kOk},  // 0 dB is not below 0 dB
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    ScratchDir dir;
    const std::string in = dir / "in.wav";
    Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", in, "synth", "0.1", "sine", "300", c.silent ? "vol" : "gain",
         c.silent ? "0" : "-10"});
    const Bytes original = ReadBytes(in);
    std::vector<std::string> args = c.args;
    args.push_back(in);
    const RunResult run = RunTool(args);
    EXPECT_EQ(run.code, c.code) << run.out << run.err;
    if (c.code != ExitCode::kOk) {
      EXPECT_EQ(ReadBytes(in), original);
      EXPECT_NE(run.out.find("untouched"), std::string::npos) << run.out;
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});
  }
}

TEST(NormalizeOracle, RealProgramExitCodes) {
  ScratchDir dir;
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", dir / "in.wav", "synth", "0.1", "sine", "300", "gain", "-10"});
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"--help"}, 0},
      {{"-m", "100", "-b", "64", "-o", dir / "out.wav", "-x", "3", dir / "in.wav"}, 0},
      {{"-l", "0", dir / "in.wav"}, 1},
      {{"-a", "3", dir / "missing.wav"}, 2},
      {{"-a", "3", "-x", "6", dir / "in.wav"}, 6},
  };
  for (const auto& c : cases) {
    std::string said;
    EXPECT_EQ(RunProgram(NORMALIZE_EXECUTABLE, c.args, &said), c.code) << c.args.front() << ": " << said;
  }
}

}  // namespace
}  // namespace normalize::test
