#include "wav_fixture.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <sstream>
#include <thread>

#include "cli/command_line.h"
#include "job/job.h"
#include "program_run.h"

namespace normalize::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "normalize-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Sox(const std::vector<std::string>& args) {
  // -R: the same noise on every run, so that no case depends on the draw.
  std::vector<std::string> all = {"-q", "-D", "-R"};
  all.insert(all.end(), args.begin(), args.end());
  std::string said;
  std::string words;
  for (const std::string& arg : args) words += " [" + arg + "]";
  ASSERT_EQ(RunProgram(SOX_EXECUTABLE, all, &said), 0) << "sox" << words << ": " << said;
}

std::vector<std::int32_t> SoxSamples(const std::string& path) {
  const std::string raw = path + ".s32";
  Sox({path, "-t", "s32", raw});
  const Bytes bytes = ReadBytes(raw);
  std::filesystem::remove(raw);
  std::vector<std::int32_t> samples(bytes.size() / 4);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
  return samples;
}

Bytes Le16(unsigned value) {
  return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
}

Bytes Le32(std::uint32_t value) {
  Bytes bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  return bytes;
}

Bytes Le64(std::uint64_t value) {
  Bytes bytes = Le32(static_cast<std::uint32_t>(value));
  const Bytes high = Le32(static_cast<std::uint32_t>(value >> 32));
  bytes.insert(bytes.end(), high.begin(), high.end());
  return bytes;
}

OracleFigures Libebur128(const std::string& path, unsigned channels, unsigned rate) {
  const std::vector<std::int32_t> samples = SoxSamples(path);
  std::vector<double> decoded(samples.size());
  std::transform(samples.begin(), samples.end(), decoded.begin(), [](std::int32_t s) { return s / 2147483648.0; });
  ebur128_state* state =
      ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_M | EBUR128_MODE_S);
  OracleFigures figures{0, 0, -HUGE_VAL, -HUGE_VAL};
  const std::size_t step = rate / 10;
  for (std::size_t frame = 0, blocks = 1; frame < decoded.size() / channels; frame += step, ++blocks) {
    const std::size_t frames = std::min(step, decoded.size() / channels - frame);
    ebur128_add_frames_double(state, decoded.data() + frame * channels, frames);
    double value = 0;
    if (frames == step && blocks >= 4 && ebur128_loudness_momentary(state, &value) == EBUR128_SUCCESS) {
      figures.max_momentary_lufs = std::max(figures.max_momentary_lufs, value);
    }
    if (frames == step && blocks >= 30 && ebur128_loudness_shortterm(state, &value) == EBUR128_SUCCESS) {
      figures.max_short_term_lufs = std::max(figures.max_short_term_lufs, value);
    }
  }
  double true_peak = 0;
  ebur128_loudness_global(state, &figures.integrated_lufs);
  for (unsigned ch = 0; ch < channels; ++ch) {
    double peak = 0;
    ebur128_true_peak(state, ch, &peak);
    true_peak = std::max(true_peak, peak);
  }
  ebur128_destroy(&state);
  figures.true_peak_dbtp = 20 * std::log10(true_peak);
  return figures;
}

double IdealPeakDb(const std::string& path) {
  const std::vector<std::int32_t> samples = SoxSamples(path);
  const auto n = static_cast<std::ptrdiff_t>(samples.size());
  const auto x = [&](std::ptrdiff_t i) { return i < 0 || i >= n ? 0.0 : samples[static_cast<std::size_t>(i)] / 2147483648.0; };
  // sinc(t - k) summed over k within `reach` of t, faded over its last eighth.
  const auto at = [&](double t, std::ptrdiff_t reach) {
    const auto middle = static_cast<std::ptrdiff_t>(std::floor(t));
    if (t == std::floor(t)) return x(middle);
    // sin(pi (t - k)) is sin(pi t) with k's parity for its sign.
    double sum = 0;
    for (std::ptrdiff_t k = middle - reach + 1; k <= middle + reach; ++k) {
      const double d = t - static_cast<double>(k), edge = static_cast<double>(reach) - std::fabs(d);
      const double fade = edge >= reach / 8.0 ? 1 : 0.5 - 0.5 * std::cos(std::numbers::pi * edge / (reach / 8.0));
      sum += x(k) * fade * (k % 2 != 0 ? -1 : 1) / d;
    }
    return sum * std::sin(std::numbers::pi * t) / std::numbers::pi;
  };
  std::vector<std::pair<double, std::ptrdiff_t>> loudest;
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    double largest = std::fabs(x(i));
    for (int p = 1; p < 4; ++p) largest = std::max(largest, std::fabs(at(static_cast<double>(i) + p / 4.0, 32)));
    loudest.emplace_back(largest, i);
  }
  const std::size_t kept = std::min<std::size_t>(400, loudest.size());
  std::partial_sort(loudest.begin(), loudest.begin() + static_cast<std::ptrdiff_t>(kept), loudest.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  double peak = 0;
  for (std::size_t j = 0; j < kept; ++j) {
    for (int p = -8; p < 24; ++p) peak = std::max(peak, std::fabs(at(static_cast<double>(loudest[j].second) + p / 16.0, 8192)));
  }
  return 20 * std::log10(peak);
}

static void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

Bytes PcmFmt(unsigned tag, unsigned channels, unsigned bits, unsigned block_align, unsigned rate) {
  if (block_align == 0) block_align = channels * bits / 8;
  Bytes fmt = Le16(tag);
  Append(fmt, Le16(channels));
  Append(fmt, Le32(rate));
  Append(fmt, Le32(rate * block_align));
  Append(fmt, Le16(block_align));
  Append(fmt, Le16(bits));
  return fmt;
}

Bytes BuildRiff(const std::vector<RawChunk>& chunks, std::int64_t riff_size_field) {
  Bytes body = {'W', 'A', 'V', 'E'};
  for (const RawChunk& chunk : chunks) {
    body.insert(body.end(), chunk.id.begin(), chunk.id.end());
    const auto size = chunk.size_field >= 0 ? static_cast<std::uint32_t>(chunk.size_field)
                                            : static_cast<std::uint32_t>(chunk.payload.size());
    Append(body, Le32(size));
    Append(body, chunk.payload);
    if (chunk.payload.size() % 2 && chunk.pad) body.push_back(0xA5);  // a pad byte that is not 0
  }
  Bytes file = {'R', 'I', 'F', 'F'};
  Append(file, Le32(riff_size_field >= 0 ? static_cast<std::uint32_t>(riff_size_field)
                                         : static_cast<std::uint32_t>(body.size())));
  Append(file, body);
  return file;
}

Bytes BextPayload(unsigned version, const std::vector<std::int16_t>& loudness) {
  Bytes payload(640);  // the fields, then a coding history
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<unsigned char>(i * 7 + 3);
  payload[346] = static_cast<unsigned char>(version), payload[347] = 0;
  for (std::size_t i = 0; i < loudness.size(); ++i) {
    payload[412 + 2 * i] = static_cast<unsigned char>(loudness[i]);
    payload[413 + 2 * i] = static_cast<unsigned char>(loudness[i] >> 8);
  }
  return payload;
}

std::vector<FoundChunk> ListChunks(const Bytes& file) {
  std::vector<FoundChunk> chunks;
  std::size_t pos = 12;
  while (pos + 8 <= file.size()) {
    FoundChunk chunk{std::string(file.begin() + pos, file.begin() + pos + 4), pos + 8, 0};
    for (int i = 0; i < 4; ++i) chunk.size |= std::uint64_t{file[pos + 4 + i]} << (8 * i);
    chunks.push_back(chunk);
    pos += 8 + chunk.size + chunk.size % 2;
  }
  return chunks;
}

RunResult RunTool(const std::vector<std::string>& args, WriteHook write_hook, bool map_input,
                  std::function<void(const std::string&)> before_replace) {
  std::ostringstream out;
  std::ostringstream err;
  RunResult result{ExitCode::kOk, "", ""};
  try {
    const Options options = ParseCommandLine(args);
    JobConsole console{out, err, false, std::move(write_hook), map_input};
    console.before_replace = std::move(before_replace);
    result.code = RunJob(options, console);
  } catch (const Failure& failure) {
    err << failure.what();
    result.code = failure.code();
  }
  result.out = out.str();
  result.err = err.str();
  return result;
}

std::string MakeLargeInput(const ScratchDir& dir, const std::string& name, std::uint32_t data_bytes) {
  const std::string path = dir / name;
  Bytes head = BuildRiff({{"fmt ", PcmFmt(1, 2, 16)}, {"data", Le16(1000), data_bytes}}, 36 + data_bytes);
  head.resize(44 + 2);
  WriteBytes(path, head);
  EXPECT_EQ(truncate(path.c_str(), 44 + data_bytes), 0);
  return path;
}

bool WaitForTemporary(const ScratchDir& dir, std::size_t count) {
  for (int i = 0; i < 20000; ++i) {
    const auto names = dir.Names();
    if (static_cast<std::size_t>(std::count_if(names.begin(), names.end(), [](const std::string& name) {
          return name.find(".nrm-") != std::string::npos;
        })) >= count) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return false;
}

std::int16_t FirstSample(const std::string& path) {
  const Bytes head = [&] {
    Bytes bytes(46);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file) {
      bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
      std::fclose(file);
    }
    return bytes;
  }();
  return head.size() < 46 ? 0 : static_cast<std::int16_t>(head[44] | head[45] << 8);
}

// Mono PCM, 8 or 16 bits, of `shape(t, noise)` at full scale 1.
std::string WriteSound(const std::string& path, unsigned rate, unsigned bits, double seconds,
                       const std::function<double(double, double)>& shape) {
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 0.5);
  Bytes data;
  for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * rate); ++i) {
    const double v = shape(static_cast<double>(i) / rate, noise(random));
    const long scaled = std::lround(v * (bits == 8 ? 128 : 32768));
    const Bytes le = bits == 8 ? Bytes{static_cast<unsigned char>(std::clamp(scaled + 128, 0L, 255L))}
                               : Le16(static_cast<std::uint16_t>(std::clamp(scaled, -32768L, 32767L)));
    data.insert(data.end(), le.begin(), le.end());
  }
  WriteBytes(path, BuildRiff({{"fmt ", PcmFmt(1, 1, bits, 0, rate)}, {"data", data}}));
  return path;
}

}  // namespace normalize::test
