// The reference points of the loudness benchmark: libebur128 measuring a WAV
// file's integrated loudness and true peak, fed the samples as fast as it
// takes them, and a plain read of the same file; also our own analysis in
// the same loop, without the tool around it. Prints the wall time.
//
//   loudness_feed ebur128|read|analyzer <file.wav>
#include <ebur128.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "loudness/channel_weights.h"
#include "loudness/loudness_analysis.h"
#include "wav/input_file.h"
#include "wav/wav_format.h"

namespace {

int Feed(const std::string& mode, const std::string& path) {
  normalize::InputFile input(path, false);
  const normalize::WavLayout layout = normalize::ReadWavLayout(input);
  const normalize::SampleFormat& format = layout.format;
  const normalize::Chunk& data = layout.data_chunk();
  const bool wide = format.encoding == normalize::SampleEncoding::kSigned24;
  if (mode == "ebur128" && format.encoding != normalize::SampleEncoding::kSigned16 && !wide) {
    std::fprintf(stderr, "loudness_feed: ebur128 mode takes 16- and 24-bit files only\n");
    return 2;
  }
  // The sample rate, from the fmt chunk.
  unsigned long rate = 0;
  for (const normalize::Chunk& chunk : layout.chunks) {
    if (std::memcmp(chunk.id.data(), "fmt ", 4) != 0) continue;
    unsigned char fmt[8];
    input.ReadExactAt(chunk.offset + 8, fmt, sizeof fmt);
    rate = fmt[4] | fmt[5] << 8 | fmt[6] << 16 | static_cast<unsigned long>(fmt[7]) << 24;
  }
  ebur128_state* state = nullptr;
  if (mode == "ebur128") state = ebur128_init(format.channels, rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  std::unique_ptr<normalize::LoudnessAnalyzer> analyzer;
  if (mode == "analyzer") {
    analyzer = std::make_unique<normalize::LoudnessAnalyzer>(
        format, static_cast<double>(rate), normalize::ChannelWeights(format.channels, std::nullopt));
  }
  const auto start = std::chrono::steady_clock::now();
  const std::size_t block = (1 << 20) / format.block_align * format.block_align;
  std::vector<std::byte> buffer(block);
  std::vector<int> words;
  const std::uint64_t total = data.size - data.size % format.block_align;
  for (std::uint64_t done = 0; done < total;) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(block, total - done));
    input.ReadExactAt(data.offset + 8 + done, buffer.data(), size);
    if (state && wide) {
      // 24-bit samples at the top of 32-bit ones, as the library takes them.
      words.resize(size / 3);
      for (std::size_t i = 0; i < words.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(buffer.data()) + 3 * i;
        words[i] = static_cast<int>(static_cast<unsigned>(p[0]) << 8 | static_cast<unsigned>(p[1]) << 16 |
                                    static_cast<unsigned>(p[2]) << 24);
      }
      ebur128_add_frames_int(state, words.data(), size / format.block_align);
    } else if (state) {
      ebur128_add_frames_short(state, reinterpret_cast<const short*>(buffer.data()), size / format.block_align);
    }
    if (analyzer) analyzer->Add(buffer.data(), size);
    done += size;
  }
  double integrated = 0, peak = 0;
  if (state) {
    ebur128_loudness_global(state, &integrated);
    for (unsigned c = 0; c < format.channels; ++c) {
      double channel_peak = 0;
      ebur128_true_peak(state, c, &channel_peak);
      if (channel_peak > peak) peak = channel_peak;
    }
    ebur128_destroy(&state);
  }
  if (analyzer) {
    const normalize::LoudnessFigures figures = analyzer->Figures();
    integrated = figures.integrated_lufs.value_or(-HUGE_VAL);
    peak = figures.true_peak;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %.3f s", mode.c_str(), seconds);
  if (mode != "read") std::printf(", integrated %.2f LUFS, true peak %.2f dBTP", integrated, 20 * std::log10(peak));
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode != "ebur128" && mode != "read" && mode != "analyzer") {
    std::fprintf(stderr, "usage: loudness_feed ebur128|read|analyzer <file.wav>\n");
    return 1;
  }
  try {
    return Feed(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "loudness_feed: %s\n", e.what());
    return 2;
  }
}
