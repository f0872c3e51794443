#include "samples/dither.h"

#include <cmath>

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

std::uint64_t DitherSeed(const std::string& file_name, std::uint64_t data_bytes) {
  std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
  for (const char c : file_name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
  return hash ^ data_bytes;
}

}  // namespace normalize
