#include "samples/dither.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "wav/input_file.h"
#include "wav/riff.h"

namespace normalize {
namespace {

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

TpdfNoise::TpdfNoise(std::uint64_t seed) {
  std::uint64_t state = seed;
  for (unsigned lane = 0; lane < kLanes; ++lane) {
    for (std::uint32_t* word : {&x[lane], &y[lane], &z[lane], &w[lane]}) {
      *word = static_cast<std::uint32_t>(SplitMix(state) >> 32);
    }
    // xorshift never leaves the all-zero state.
    if ((x[lane] | y[lane] | z[lane] | w[lane]) == 0) w[lane] = 1;
  }
}

void TpdfNoise::Step() {
  for (unsigned lane = 0; lane < kLanes; ++lane) {
    const std::uint32_t t = x[lane] ^ (x[lane] << 11);
    x[lane] = y[lane];
    y[lane] = z[lane];
    z[lane] = w[lane];
    w[lane] = w[lane] ^ (w[lane] >> 19) ^ t ^ (t >> 8);
    ready_[lane] = w[lane];
  }
  used_ = 0;
}

bool DitherApplies(const SampleFormat& format, double gain) {
  return !format.is_float() && format.valid_bits <= 16 && gain != std::trunc(gain);
}

std::uint64_t DitherSeed(InputFile& input, const WavLayout& layout) {
  // Stretches this long read at three places: a few hundred microseconds of
  // reading for any file, and distinct for any two real recordings.
  constexpr std::uint64_t kStretch = 64 * 1024;
  const Chunk& data = layout.data_chunk();
  const std::uint64_t start = data.offset + riff::kChunkHeaderBytes;
  const SampleFormat& f = layout.format;
  std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a, eight bytes at a time
  const auto mix = [&hash](std::uint64_t word) { hash = (hash ^ word) * 0x100000001B3u; };
  mix(data.size);
  mix(std::uint64_t{f.sample_rate} << 32 | f.channels << 16 | f.valid_bits << 8 | f.container_bytes);
  std::vector<unsigned char> bytes;
  for (const std::uint64_t at : {std::uint64_t{0}, data.size / 2, data.size - std::min(data.size, kStretch)}) {
    bytes.resize(static_cast<std::size_t>(std::min(kStretch, data.size - at)));
    input.ReadExactAt(start + at, bytes.data(), bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
      std::uint64_t word = 0;
      for (std::size_t b = i; b < std::min(i + 8, bytes.size()); ++b) word |= std::uint64_t{bytes[b]} << (8 * (b - i));
      mix(word);
    }
  }
  // FNV's low bits are weak; SplitMix spreads them before they seed the lanes.
  return SplitMix(hash);
}

}  // namespace normalize
