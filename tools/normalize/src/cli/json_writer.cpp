#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

#include "cli/number_text.h"

namespace normalize {
namespace {

// U+FFFD in UTF-8: what a byte that is not part of a UTF-8 character becomes.
constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 character of two to four bytes that
// starts at `at`, or 0: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned lead = byte(0);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  // The second byte's range where the lead alone does not settle it.
  const unsigned second = byte(1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

}  // namespace

JsonObject& JsonObject::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ',';
  text_ += JsonString(key);
  text_ += ':';
  return *this;
}

JsonObject& JsonObject::String(std::string_view key, std::string_view text) {
  Key(key).text_ += JsonString(text);
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::optional<double> value, int decimals) {
  Key(key).text_ += value && std::isfinite(*value) ? Fixed(*value, decimals) : "null";
  return *this;
}

JsonObject& JsonObject::Count(std::string_view key, std::uint64_t count) {
  Key(key).text_ += std::to_string(count);
  return *this;
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
  Key(key).text_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::Object(std::string_view key, const JsonObject& object) {
  Key(key).text_ += object.Text();
  return *this;
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  Key(key).text_ += json;
  return *this;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, at);
      out += length ? text.substr(at, length) : std::string_view(kReplacementCharacter);
      at += length ? length : 1;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += text[at];
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += text[at];
    }
    ++at;
  }
  return out + "\"";
}

std::string JsonStrings(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (const std::string& text : texts) {
    if (out.size() > 1) out += ',';
    out += JsonString(text);
  }
  return out + "]";
}

}  // namespace normalize
