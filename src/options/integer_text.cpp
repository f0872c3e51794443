#include "options/integer_text.h"

namespace quilbo {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::int32_t> ParseHexDigits(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int d = HexDigitValue(c);
    if (d < 0 || value > 0x0FFFFFFFu) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return static_cast<std::int32_t>(value);  // the 32-bit pattern: FFFFFFFF is -1
}

std::optional<std::int32_t> ParseDecimalDigits(std::string_view digits, bool negative) {
  if (digits.empty()) return std::nullopt;
  const std::uint32_t limit = negative ? 2147483648u : 2147483647u;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto d = static_cast<std::uint32_t>(c - '0');
    if (value > (limit - d) / 10) return std::nullopt;
    value = value * 10 + d;
  }
  if (negative) return static_cast<std::int32_t>(0u - value);
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::optional<std::int32_t> ParseIntegerText(std::string_view text) {
  const auto start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);

  if (text.front() == '$' || text.front() == 'x' || text.front() == 'X')
    return ParseHexDigits(text.substr(1));
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseHexDigits(text.substr(2));

  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  return ParseDecimalDigits(text, negative);
}

std::string DecimalText(std::int32_t value) {
  return std::to_string(value);
}

}  // namespace quilbo
