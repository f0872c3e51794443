#pragma once
// The one way the tool writes JSON: its --json lines, the --report page's
// records and the run's own record. An object's keys come in the order they
// are added; figures keep the fixed decimals the lines have always had
// ("-23.000", never "-23" or "-2.3e1"), so that a script comparing lines
// sees them as they were; a figure that does not exist (or is not finite) is
// null; and every string is valid UTF-8, whatever bytes a file name holds.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace normalize {

class JsonObject {
 public:
  JsonObject& String(std::string_view key, std::string_view text);
  // `value` with `decimals` decimals.
  JsonObject& Number(std::string_view key, std::optional<double> value, int decimals = 3);
  JsonObject& Count(std::string_view key, std::uint64_t count);
  JsonObject& Bool(std::string_view key, bool value);
  JsonObject& Object(std::string_view key, const JsonObject& object);
  // A value this writer made before (an object, JsonStrings' array), as it is.
  JsonObject& Raw(std::string_view key, std::string_view json);

  std::string Text() const { return text_ + "}"; }

 private:
  JsonObject& Key(std::string_view key);

  std::string text_ = "{";
};

// A JSON string: quotes and backslashes escaped, control characters as
// \u00XX; a byte that is not part of a well-formed UTF-8 character (a
// Latin-1 name, say) becomes U+FFFD.
std::string JsonString(std::string_view text);

// ["a","b"]
std::string JsonStrings(const std::vector<std::string>& texts);

}  // namespace normalize
