#pragma once
// The one rule by which text becomes a signed 32-bit integer everywhere in the
// program (numeric fields, stored settings), and the one way numbers are written.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quilbo {

// Leading spaces are skipped; then either decimal digits after at most one sign,
// within the signed 32-bit range, or a hex prefix ("$", "x", "X", "0x", "0X", no
// sign) with at least one hex digit, fitting in 32 bits and taken as a bit
// pattern. The digits must run to the end. Anything else yields nothing.
std::optional<std::int32_t> ParseIntegerText(std::string_view text);

// Shortest signed decimal form: "-" for negatives, no "+", no leading zeros.
std::string DecimalText(std::int32_t value);

}  // namespace quilbo
