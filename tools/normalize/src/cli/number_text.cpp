#include "cli/number_text.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace normalize {
namespace {

bool AllDigits(std::string_view text) { return text.find_first_not_of("0123456789") == std::string_view::npos; }

std::size_t SignLength(std::string_view text) {
  return !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
}

}  // namespace

std::optional<int> WholeNumber(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = text.substr(SignLength(text));
  if (digits.empty() || !AllDigits(digits)) return std::nullopt;
  // Counted towards the negative end, which holds one more than the positive.
  long long value = 0;
  for (const char digit : digits) {
    value = value * 10 - (digit - '0');
    if (value < std::numeric_limits<int>::min()) return std::nullopt;
  }
  if (!negative && -value > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(negative ? value : -value);
}

std::optional<double> DecimalNumber(std::string_view text) {
  const std::size_t start = SignLength(text);
  const std::size_t point = text.find('.', start);
  const std::string_view whole = text.substr(start, point == std::string_view::npos ? point : point - start);
  const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.size() + fraction.size() == 0 || !AllDigits(whole) || !AllDigits(fraction) || whole.size() > 6) {
    return std::nullopt;
  }
  // Only a sign, digits and a point are left, which strtod reads the same in
  // the "C" locale the tool runs in, correctly rounded.
  return std::strtod(std::string(text).c_str(), nullptr);
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  // What rounds to zero is "0.000": "-0.000" would read as a figure below zero.
  if (text[0] == '-' && std::string(text + 1).find_first_not_of("0.") == std::string::npos) return text + 1;
  return text;
}

}  // namespace normalize
