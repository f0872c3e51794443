#include "wav/bext_chunk.h"

#include <algorithm>
#include <cmath>

#include "wav/input_file.h"
#include "wav/le_bytes.h"
#include "wav/riff.h"
#include "wav/wav_format.h"

namespace normalize {

bool BextLoudness::any() const {
  return std::any_of(values.begin(), values.end(), [](const std::optional<double>& v) { return v.has_value(); });
}

BextLoudness Refreshed(const BextLoudness& stored, const BextLoudness& figures) {
  BextLoudness result;
  for (std::size_t i = 0; i < bext::kLoudnessFields; ++i) {
    if (stored.values[i]) result.values[i] = figures.values[i];
  }
  return result;
}

std::optional<BextLoudness> ReadBextLoudness(InputFile& input, const Chunk& chunk) {
  if (chunk.size < bext::kLoudnessOffset + bext::kLoudnessBytes) return std::nullopt;
  const std::uint64_t payload = chunk.offset + riff::kChunkHeaderBytes;
  unsigned char version[2];
  input.ReadExactAt(payload + bext::kVersionOffset, version, sizeof version);
  if (GetLe16(version) < 2) return std::nullopt;
  unsigned char fields[bext::kLoudnessBytes];
  input.ReadExactAt(payload + bext::kLoudnessOffset, fields, sizeof fields);
  BextLoudness loudness;
  for (std::size_t i = 0; i < bext::kLoudnessFields; ++i) {
    const auto stored = static_cast<std::int16_t>(GetLe16(fields + 2 * i));
    if (stored != bext::kNotSet) loudness.values[i] = stored / 100.0;
  }
  return loudness;
}

std::array<unsigned char, bext::kLoudnessBytes> EncodeBextLoudness(const BextLoudness& loudness) {
  std::array<unsigned char, bext::kLoudnessBytes> bytes{};
  for (std::size_t i = 0; i < bext::kLoudnessFields; ++i) {
    const std::optional<double>& value = loudness.values[i];
    std::int32_t hundredths = bext::kNotSet;
    if (value && std::isfinite(*value)) {
      hundredths = static_cast<std::int32_t>(std::clamp(std::lround(*value * 100), -32768L, 32766L));
    }
    bytes[2 * i] = static_cast<unsigned char>(hundredths);
    bytes[2 * i + 1] = static_cast<unsigned char>(hundredths >> 8);
  }
  return bytes;
}

}  // namespace normalize
