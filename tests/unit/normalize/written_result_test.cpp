// Runs of the tool judged by the file they write: the loudness target met
// after rounding and dither, dither that is repeatable, leaves silence silent
// and keeps a peak's promise, and bext loudness fields that describe the
// result.
#include <gtest/gtest.h>

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

std::vector<std::int16_t> Samples16(const Bytes& file) {
  const FoundChunk data = ListChunks(file).back();
  std::vector<std::int16_t> samples(data.size / 2);
  std::memcpy(samples.data(), &file[data.offset], samples.size() * 2);
  return samples;
}

double JsonNumber(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\":");
  EXPECT_NE(at, std::string::npos) << key << " in " << line;
  return at == std::string::npos ? NAN : std::stod(line.substr(at + key.size() + 3));
}

TEST(NormalizeWrittenResult, LoudnessTargetIsMetByTheFileAsWritten) {
  const struct {
    const char* name;
    std::vector<std::string> make;  // sox's output options and effects
    unsigned channels, rate;
    const char* target;
  } cases[] = {
      {"8-bit explosion -30", {"-r", "11025", "-b", "8", "-c", "1"}, 1, 11025, "-30"},
      {"8-bit explosion -23", {"-r", "11025", "-b", "8", "-c", "1"}, 1, 11025, "-23"},
      {"16-bit stereo -30", {"-r", "44100", "-b", "16", "-c", "2"}, 2, 44100, "-30"},
      {"16-bit stereo -23", {"-r", "44100", "-b", "16", "-c", "2"}, 2, 44100, "-23"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    // Brown noise that dies away over four seconds: most of it near the step.
    std::vector<std::string> args = {"-n"};
    args.insert(args.end(), c.make.begin(), c.make.end());
    args.insert(args.end(), {dir / "in.wav", "synth", "4", "brownnoise", "fade", "l", "0", "4", "3.9", "gain", "-12"});
    Sox(args);
    const RunResult run = RunTool({"--loudness", c.target, "--json", "-o", dir / "out.wav", dir / "in.wav"});
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    const double oracle = Libebur128(dir / "out.wav", c.channels, c.rate).integrated_lufs;
    EXPECT_NEAR(oracle, std::stod(c.target), 0.1);
    // The line's figures after the gain are those of the file as written.
    const std::string after = run.out.substr(run.out.find("\"after\""));
    EXPECT_NEAR(JsonNumber(after, "integrated_lufs"), oracle, 0.05) << run.out;
  }
}

TEST(NormalizeWrittenResult, DitherIsRepeatableSilentOnSilenceAndKeepsThePeak) {
  ScratchDir dir;
  Sox({"-n", "-r", "48000", "-b", "16", "-c", "1", dir / "tone.wav", "synth", "1", "sine", "1000", "gain", "-70"});
  Bytes click = BuildRiff({{"fmt ", PcmFmt(1, 1, 16, 2, 48000)}, {"data", Bytes(96000, 0)}});
  click[44 + 48000] = 0x20, click[44 + 48001] = 0x4E;  // 20000 half way
  WriteBytes(dir / "click.wav", click);
  Sox({"-n", "-r", "44100", "-b", "16", "-c", "2", dir / "loud.wav", "synth", "1", "sine", "440", "gain", "-9.3"});
  const double gain = std::pow(10.0, -6 / 20.0);
  const auto run = [&](const std::string& in, std::vector<std::string> args) {
    const std::string out = dir / ("out" + std::to_string(dir.Names().size()) + ".wav");
    args.insert(args.end(), {"-o", out, dir / in});
    EXPECT_EQ(RunTool(args).code, ExitCode::kOk);
    return ReadBytes(out);
  };
  // The same bytes twice; with --dither none the plain rounding of before.
  const Bytes first = run("tone.wav", {"-a", "-6"});
  EXPECT_EQ(run("tone.wav", {"-a", "-6"}), first);
  const auto tone = Samples16(ReadBytes(dir / "tone.wav"));
  std::vector<std::int16_t> plain;
  for (const std::int16_t v : tone) plain.push_back(static_cast<std::int16_t>(std::nearbyint(v * gain)));
  EXPECT_EQ(Samples16(run("tone.wav", {"-a", "-6", "--dither", "none"})), plain);
  EXPECT_NE(Samples16(first), plain);
  // Digital silence stays zeros around a click.
  const auto clicked = Samples16(run("click.wav", {"-a", "-6"}));
  for (std::size_t i = 0; i < clicked.size(); ++i) {
    if (i == 24000) {
      EXPECT_NEAR(clicked[i], 20000 * gain, 1.5);
    } else {
      ASSERT_EQ(clicked[i], 0) << i;
    }
  }
  // -m 100: the loudest sample exactly at full scale, nothing clipped.
  const auto loud = Samples16(run("loud.wav", {"-m", "100"}));
  const auto [low, high] = std::minmax_element(loud.begin(), loud.end());
  EXPECT_TRUE(*high == 32767 || *low == -32768) << *low << " " << *high;
  EXPECT_NE(Samples16(run("loud.wav", {"-m", "100", "--dither", "none"})), loud);
}

// libebur128's maximum momentary and short-term loudness: polled every 100 ms.
struct Maxima {
  double momentary = -HUGE_VAL, short_term = -HUGE_VAL;
};
Maxima OracleMaxima(const std::string& path, unsigned channels, unsigned rate) {
  const std::vector<std::int32_t> samples = SoxSamples(path);
  ebur128_state* state = ebur128_init(channels, rate, EBUR128_MODE_M | EBUR128_MODE_S);
  Maxima maxima;
  const std::size_t step = rate / 10 * channels;
  std::vector<double> part(step);
  for (std::size_t at = 0, blocks = 1; at + step <= samples.size(); at += step, ++blocks) {
    std::transform(samples.begin() + at, samples.begin() + at + step, part.begin(),
                   [](std::int32_t s) { return s / 2147483648.0; });
    ebur128_add_frames_double(state, part.data(), rate / 10);
    double value = 0;
    if (blocks >= 4 && ebur128_loudness_momentary(state, &value) == EBUR128_SUCCESS) {
      maxima.momentary = std::max(maxima.momentary, value);
    }
    if (blocks >= 30 && ebur128_loudness_shortterm(state, &value) == EBUR128_SUCCESS) {
      maxima.short_term = std::max(maxima.short_term, value);
    }
  }
  ebur128_destroy(&state);
  return maxima;
}

TEST(NormalizeWrittenResult, BextLoudnessDescribesTheResult) {
  constexpr std::int16_t kUnset = 0x7FFF;
  const std::vector<std::int16_t> stored = {-1890, kUnset, -310, -1300, -1500};
  ScratchDir dir;
  Sox({"-n", "-r", "48000", "-b", "16", "-c", "2", dir / "music.wav", "synth", "6", "pinknoise", "tremolo", "0.5", "80",
       "gain", "-15"});
  const Bytes music = ReadBytes(dir / "music.wav");
  const FoundChunk fmt = ListChunks(music)[0];
  const FoundChunk data = ListChunks(music).back();
  const Bytes samples(music.begin() + data.offset, music.begin() + data.offset + data.size);
  for (const unsigned version : {2u, 1u}) {
    const Bytes bext = BextPayload(version, stored);
    const Bytes file = BuildRiff({{"fmt ", Bytes(music.begin() + fmt.offset, music.begin() + fmt.offset + fmt.size)},
                                  {"bext", bext},
                                  {"data", samples}});
    WriteBytes(dir / "in.wav", file);
    for (const std::vector<std::string>& mode : {std::vector<std::string>{"--loudness", "-23"}, {"-m", "100"}, {"-a", "-6"}}) {
      SCOPED_TRACE(mode[0] + " version " + std::to_string(version));
      const RunResult run = RunTool({mode[0], mode[1], "-o", dir / "out.wav", dir / "in.wav"});
      ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
      const Bytes out = ReadBytes(dir / "out.wav");
      ASSERT_EQ(out.size(), file.size());
      const std::size_t fields = 12 + 8 + fmt.size + 8 + 412;
      // Every byte outside the audio and the set fields as it was.
      Bytes outside = out;
      std::copy(file.begin() + 12 + 8 + fmt.size + 8 + bext.size(), file.end(),
                outside.begin() + 12 + 8 + fmt.size + 8 + bext.size());
      for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != kUnset || version < 2) continue;
        EXPECT_EQ(out[fields + 2 * i], file[fields + 2 * i]);
        EXPECT_EQ(out[fields + 2 * i + 1], file[fields + 2 * i + 1]);
      }
      if (version < 2) {
        const auto differ = std::mismatch(outside.begin(), outside.end(), file.begin());
        EXPECT_EQ(differ.first - outside.begin(), static_cast<std::ptrdiff_t>(file.size()));
        continue;
      }
      std::copy(file.begin() + fields, file.begin() + fields + 10, outside.begin() + fields);
      EXPECT_EQ(outside, file);
      auto field = [&](std::size_t i) { return static_cast<std::int16_t>(out[fields + 2 * i] | out[fields + 2 * i + 1] << 8) / 100.0; };
      const RunResult analyzed = RunTool({"--analyze", "--json", dir / "out.wav"});
      ASSERT_EQ(analyzed.code, ExitCode::kOk) << analyzed.err;
      EXPECT_NEAR(field(0), JsonNumber(analyzed.out, "integrated_lufs"), 0.0051);
      EXPECT_NEAR(field(3), JsonNumber(analyzed.out, "max_momentary_lufs"), 0.0051);
      EXPECT_NEAR(field(2), JsonNumber(analyzed.out, "true_peak_dbtp"), 0.0051);
      EXPECT_NEAR(field(4), JsonNumber(analyzed.out, "max_short_term_lufs"), 0.0051);
      EXPECT_NEAR(field(0), JsonNumber(analyzed.out, "bext_integrated_lufs"), 0.0051);
      const OracleFigures oracle = Libebur128(dir / "out.wav", 2, 48000);
      EXPECT_NEAR(field(0), oracle.integrated_lufs, 0.05);
      EXPECT_NEAR(field(2), oracle.true_peak_dbtp, 0.1);
      const Maxima maxima = OracleMaxima(dir / "out.wav", 2, 48000);
      EXPECT_NEAR(field(3), maxima.momentary, 0.05);
      EXPECT_NEAR(field(4), maxima.short_term, 0.05);
    }
  }
}

}  // namespace
}  // namespace normalize::test
