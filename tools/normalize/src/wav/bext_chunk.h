#pragma once
// The loudness fields of a broadcast WAV's 'bext' chunk, which version 2 of
// the chunk added: integrated loudness, loudness range, maximum true peak,
// maximum momentary and short-term loudness, each a signed 16-bit number of
// hundredths (LUFS, LU or dBTP), 0x7FFF where the field is not set.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace normalize {

class InputFile;
struct Chunk;

namespace bext {

constexpr std::size_t kVersionOffset = 346;   // after description, originator, dates and time reference
constexpr std::size_t kLoudnessOffset = 412;  // after the version and the 64-byte UMID
constexpr std::size_t kLoudnessFields = 5;
constexpr std::size_t kLoudnessBytes = 2 * kLoudnessFields;
constexpr std::int16_t kNotSet = 0x7FFF;

}  // namespace bext

enum BextField { kBextIntegrated, kBextRange, kBextTruePeak, kBextMaxMomentary, kBextMaxShortTerm };

// In the chunk's order (BextField); nothing where a field is not set.
struct BextLoudness {
  std::array<std::optional<double>, bext::kLoudnessFields> values;

  bool any() const;
};

// The fields `stored` holds, with the values of `figures` (nothing where a
// figure does not exist); those it leaves unset stay so.
BextLoudness Refreshed(const BextLoudness& stored, const BextLoudness& figures);

// The loudness fields of `chunk` (a 'bext' chunk): nothing where its version
// is below 2 or it is too short to hold them.
std::optional<BextLoudness> ReadBextLoudness(InputFile& input, const Chunk& chunk);

// The ten bytes of the fields: a value rounded to hundredths (held within the
// field's range) where one is given, else "not set".
std::array<unsigned char, bext::kLoudnessBytes> EncodeBextLoudness(const BextLoudness& loudness);

}  // namespace normalize
