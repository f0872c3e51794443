#pragma once
// The tool's own rules for numbers on its command line, which are not the
// front end's: no blanks, no hexadecimal, no exponent, no "inf".
#include <optional>
#include <string_view>

namespace normalize {

// An optional sign, then decimal digits, within the range of int.
std::optional<int> WholeNumber(std::string_view text);

// An optional sign, at most six whole digits, an optional fraction after a
// point ("-23", "-14.5", "-.5", "5."); at least one digit.
std::optional<double> DecimalNumber(std::string_view text);

}  // namespace normalize
