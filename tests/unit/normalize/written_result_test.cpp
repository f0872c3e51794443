// Runs of the tool judged by the file they write: the loudness target met
// after rounding and dither; dither that is repeatable, leaves silence silent
// and keeps a peak's promise; bext loudness fields that describe the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "wav_fixture.h"

namespace normalize::test {
namespace {

std::vector<std::int32_t> Samples16(const std::string& path) {
  std::vector<std::int32_t> samples = SoxSamples(path);
  for (std::int32_t& s : samples) s >>= 16;
  return samples;
}

double JsonNumber(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\":");
  EXPECT_NE(at, std::string::npos) << key << " in " << line;
  return at == std::string::npos ? NAN : std::stod(line.substr(at + key.size() + 3));
}

TEST(NormalizeWrittenResult, LoudnessTargetIsMetByTheFileAsWritten) {
  for (const char* bits : {"8", "16"}) {
    for (const char* target : {"-30", "-23"}) {
      SCOPED_TRACE(std::string(bits) + " bits " + target);
      ScratchDir dir;
      // Brown noise that dies away over four seconds: much of it near the step.
      const unsigned rate = bits[0] == '8' ? 11025 : 44100;
      Sox({"-n", "-r", std::to_string(rate), "-b", bits, "-c", "1", dir / "in.wav", "synth", "4", "brownnoise", "fade",
           "l", "0", "4", "3.9", "gain", "-12"});
      const RunResult run = RunTool({"--loudness", target, "--json", "-o", dir / "out.wav", dir / "in.wav"});
      ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
      const double oracle = Libebur128(dir / "out.wav", 1, rate).integrated_lufs;
      EXPECT_NEAR(oracle, std::stod(target), 0.1);
      // The line's figures after the gain are those of the file as written.
      EXPECT_NEAR(JsonNumber(run.out.substr(run.out.find("\"after\"")), "integrated_lufs"), oracle, 0.05) << run.out;
    }
  }
}

TEST(NormalizeWrittenResult, DitherIsRepeatableSilentOnSilenceAndKeepsThePeak) {
  ScratchDir dir;
  Sox({"-n", "-r", "48000", "-b", "16", "-c", "1", dir / "tone.wav", "synth", "1", "sine", "1000", "gain", "-70"});
  Bytes click = BuildRiff({{"fmt ", PcmFmt(1, 1, 16, 2, 48000)}, {"data", Bytes(96000, 0)}});
  click[44 + 48000] = 0x20, click[44 + 48001] = 0x4E;  // 20000 half way
  WriteBytes(dir / "click.wav", click);
  const double gain = std::pow(10.0, -6 / 20.0);
  const auto run = [&](const std::string& in, std::vector<std::string> args) {
    args.insert(args.end(), {"-o", dir / "out.wav", dir / in});
    EXPECT_EQ(RunTool(args).code, ExitCode::kOk);
    return Samples16(dir / "out.wav");
  };
  // The same bytes twice; with --dither none the plain rounding of before.
  const auto first = run("tone.wav", {"-a", "-6"});
  EXPECT_EQ(run("tone.wav", {"-a", "-6"}), first);
  const auto tone = Samples16(dir / "tone.wav");
  std::vector<std::int32_t> plain;
  for (const std::int32_t v : tone) plain.push_back(std::nearbyint(v * gain));
  EXPECT_EQ(run("tone.wav", {"-a", "-6", "--dither", "none"}), plain);
  // The error against the exact product: its variance, its correlation with
  // the tone, and its strongest line at a harmonic of 1 kHz against the mean
  // bin power (bin k of a one-second transform is k Hz): flat or not.
  const auto figures = [&](const std::vector<std::int32_t>& out) {
    double power = 0, cross = 0, signal = 0, line = 0;
    for (std::size_t i = 0; i < tone.size(); ++i) {
      power += std::pow(out[i] - tone[i] * gain, 2);
      cross += (out[i] - tone[i] * gain) * tone[i];
      signal += std::pow(tone[i], 2);
    }
    for (int h = 1; h <= 12; ++h) {
      double re = 0, im = 0;
      for (std::size_t i = 0; i < tone.size(); ++i) {
        re += (out[i] - tone[i] * gain) * std::cos(2 * std::numbers::pi * 1000.0 * h * i / 48000);
        im += (out[i] - tone[i] * gain) * std::sin(2 * std::numbers::pi * 1000.0 * h * i / 48000);
      }
      line = std::max(line, (re * re + im * im) / power);
    }
    return std::vector<double>{power / tone.size(), std::fabs(cross) / std::sqrt(power * signal), line};
  };
  const std::vector<double> dithered = figures(first);
  EXPECT_NEAR(dithered[0], 0.25, 0.03);
  EXPECT_LT(dithered[1], 0.03);
  EXPECT_LT(dithered[2], 20);
  EXPECT_GT(figures(plain)[2], 1000);
  // Digital silence stays zeros around a click.
  auto clicked = run("click.wav", {"-a", "-6"});
  EXPECT_NEAR(clicked[24000], 20000 * gain, 1.5);
  clicked[24000] = 0;
  EXPECT_EQ(clicked, std::vector<std::int32_t>(48000, 0));
  // -m 100: the loudest sample exactly at full scale, though others moved.
  const auto loud = run("tone.wav", {"-m", "100"});
  const auto [low, high] = std::minmax_element(loud.begin(), loud.end());
  EXPECT_TRUE(*high == 32767 || *low == -32768) << *low << " " << *high;
  EXPECT_NE(run("tone.wav", {"-m", "100", "--dither", "none"}), loud);
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
  for (const unsigned version : {2u, 1u}) {
    const Bytes bext = BextPayload(version, stored);
    const Bytes file = BuildRiff({{"fmt ", Bytes(music.begin() + fmt.offset, music.begin() + fmt.offset + fmt.size)},
                                  {"bext", bext},
                                  {"data", Bytes(music.begin() + data.offset, music.begin() + data.offset + data.size)}});
    WriteBytes(dir / "in.wav", file);
    const std::size_t fields = 12 + 8 + fmt.size + 8 + 412;
    const std::size_t audio = fields - 412 + bext.size() + 8;
    for (const std::vector<std::string>& mode : {std::vector<std::string>{"--loudness", "-23"}, {"-m", "100"}, {"-a", "-6"}}) {
      SCOPED_TRACE(mode[0] + " version " + std::to_string(version));
      ASSERT_EQ(RunTool({mode[0], mode[1], "-o", dir / "out.wav", dir / "in.wav"}).code, ExitCode::kOk);
      const Bytes out = ReadBytes(dir / "out.wav");
      ASSERT_EQ(out.size(), file.size());
      // Outside the audio and the fields that hold a value, every byte as it was.
      Bytes outside = out;
      std::copy(file.begin() + audio, file.end(), outside.begin() + audio);
      for (std::size_t i = 0; i < 10 && version >= 2; ++i) {
        if (stored[i / 2] != kUnset) outside[fields + i] = file[fields + i];
      }
      EXPECT_TRUE(outside == file);
      if (version < 2) continue;
      const auto field = [&](std::size_t i) {
        return static_cast<std::int16_t>(out[fields + 2 * i] | out[fields + 2 * i + 1] << 8) / 100.0;
      };
      const RunResult analyzed = RunTool({"--analyze", "--json", dir / "out.wav"});
      const OracleFigures oracle = Libebur128(dir / "out.wav", 2, 48000);
      const struct {
        std::size_t field;
        const char* key;
        double oracle, tolerance;
      } checks[] = {{0, "integrated_lufs", oracle.integrated_lufs, 0.05},
                    {2, "true_peak_dbtp", oracle.true_peak_dbtp, 0.1},
                    {3, "max_momentary_lufs", oracle.max_momentary_lufs, 0.05},
                    {4, "max_short_term_lufs", oracle.max_short_term_lufs, 0.05}};
      for (const auto& check : checks) {
        EXPECT_NEAR(field(check.field), JsonNumber(analyzed.out, check.key), 0.0051) << check.key;
        EXPECT_NEAR(field(check.field), JsonNumber(analyzed.out, std::string("bext_") + check.key), 0.0051);
        EXPECT_NEAR(field(check.field), check.oracle, check.tolerance) << check.key;
      }
    }
  }
}

}  // namespace
}  // namespace normalize::test
