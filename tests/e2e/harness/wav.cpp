// The tool's WAV output, read back.
#include "harness/harness.h"
#include "harness/internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace e2e {

using namespace detail;

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Pcm16Header(int channels, std::uint32_t data_bytes) {
  std::string wav = "RIFF";
  PutLe(wav, 36 + data_bytes, 4);
  wav += "WAVEfmt ";
  PutLe(wav, 16, 4);
  PutLe(wav, 1, 2);  // PCM
  PutLe(wav, static_cast<std::uint32_t>(channels), 2);
  PutLe(wav, 44100, 4);
  PutLe(wav, 44100u * 2u * static_cast<std::uint32_t>(channels), 4);
  PutLe(wav, static_cast<std::uint32_t>(2 * channels), 2);
  PutLe(wav, 16, 2);
  wav += "data";
  PutLe(wav, data_bytes, 4);
  return wav;
}

std::string SquareWave16(int peak, int frames) {
  std::string data;
  for (int i = 0; i < frames; ++i) PutLe(data, static_cast<std::uint16_t>((i / 50) % 2 ? -peak : peak), 2);
  return Pcm16Header(1, static_cast<std::uint32_t>(data.size())) + data;
}

int PeakOf16BitWav(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  const auto data = bytes.find("data", 12);
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || data == std::string::npos) return -1;
  int peak = 0;
  for (std::size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}

}  // namespace e2e
