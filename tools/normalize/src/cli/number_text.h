#pragma once
// The tool's own rules for numbers on its command line, which are not the
// front end's: no blanks, no hexadecimal, no exponent, no "inf"; and the one
// way its lines write a number with a fixed count of decimals.
#include <optional>
#include <string>
#include <string_view>

namespace normalize {

// An optional sign, then decimal digits, within the range of int.
std::optional<int> WholeNumber(std::string_view text);

// An optional sign, at most six whole digits, an optional fraction after a
// point ("-23", "-14.5", "-.5", "5."); at least one digit.
std::optional<double> DecimalNumber(std::string_view text);

// `value` with `decimals` decimals, as printf's "%.*f" writes it, but never "-0.0".
std::string Fixed(double value, int decimals);

}  // namespace normalize
