// Checks the integer text rule against a reference reading of the same rule,
// written the plain way (string comparison of the digits instead of arithmetic).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "options/integer_text.h"

namespace {

bool AllOf(std::string_view s, bool (*pred)(char)) {
  for (char c : s)
    if (!pred(c)) return false;
  return true;
}

bool IsDec(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDec(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string_view WithoutLeadingZeros(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

// "a <= b" for digit strings without leading zeros.
bool NotAbove(std::string_view a, std::string_view b) {
  return a.size() != b.size() ? a.size() < b.size() : a <= b;
}

std::optional<std::int32_t> Reference(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::string_view hex;
  bool isHex = false;
  if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X") {
    hex = text.substr(2);
    isHex = true;
  } else if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X')) {
    hex = text.substr(1);
    isHex = true;
  }
  if (isHex) {
    if (hex.empty() || !AllOf(hex, IsHex)) return std::nullopt;
    hex = WithoutLeadingZeros(hex);
    if (hex.size() > 8) return std::nullopt;
    return static_cast<std::int32_t>(std::strtoul(std::string(hex).c_str(), nullptr, 16));
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !AllOf(text, IsDec)) return std::nullopt;
  text = WithoutLeadingZeros(text);
  if (!NotAbove(text, negative ? "2147483648" : "2147483647")) return std::nullopt;
  const long long magnitude = std::strtoll(std::string(text).c_str(), nullptr, 10);
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (quilbo::ParseIntegerText(text) != Reference(text)) std::abort();
  return 0;
}
