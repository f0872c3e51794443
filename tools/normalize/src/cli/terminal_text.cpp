#include "cli/terminal_text.h"

#include <cstdint>

namespace normalize {
namespace {

// The length of the well-formed UTF-8 character at `at` and its code point,
// or 0 when the bytes there are not one (overlong, a surrogate, beyond
// U+10FFFF, cut short).
std::size_t CharacterAt(const std::string& text, std::size_t at, std::uint32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsControl(std::uint32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

bool IsWide(std::uint32_t code) {
  static constexpr std::uint32_t kWide[][2] = {
      {0x1100, 0x115F}, {0x231A, 0x231B}, {0x2E80, 0x303E}, {0x3041, 0xA4CF}, {0xAC00, 0xD7A3},
      {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
      {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  for (const auto& range : kWide) {
    if (code >= range[0] && code <= range[1]) return true;
  }
  return false;
}

void AppendEscaped(std::string& out, const std::string& text, std::size_t at, std::size_t length) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t i = at; i < at + length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    out.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
  }
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code = 0;
    const std::size_t length = CharacterAt(text, at, code);
    if (length == 0 || IsControl(code)) {
      AppendEscaped(out, text, at, length == 0 ? 1 : length);
    } else {
      out.append(text, at, length);
    }
    at += length == 0 ? 1 : length;
  }
  return out;
}

std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code = 0;
    const std::size_t length = CharacterAt(text, at, code);
    columns += length != 0 && IsWide(code) ? 2 : 1;
    at += length == 0 ? 1 : length;
  }
  return columns;
}

std::string CutToColumns(const std::string& text, std::size_t columns) {
  if (Columns(text) <= columns) return text;
  static constexpr std::size_t kEllipsis = 3;
  std::size_t used = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t code = 0;
    const std::size_t length = CharacterAt(text, at, code);
    const std::size_t width = length != 0 && IsWide(code) ? 2 : 1;
    if (used + width + kEllipsis > columns) break;
    used += width;
    at += length == 0 ? 1 : length;
  }
  return text.substr(0, at) + "...";
}

}  // namespace normalize
