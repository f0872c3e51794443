// The one JSON writer: any bytes a name holds come out as a valid JSON
// string of valid UTF-8, figures keep their fixed decimals, and objects nest
// with their keys in the order given.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "cli/json_writer.h"

namespace normalize {
namespace {

const std::string kReplaced = "\xEF\xBF\xBD";  // U+FFFD

TEST(NormalizeJsonWriter, StringsAreEscapedAndAlwaysValidUtf8) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"plain.wav", "\"plain.wav\""},
      {"a \"b\"\\c", "\"a \\\"b\\\"\\\\c\""},
      {std::string("\x01\t\n\x1f\x7f", 5), "\"\\u0001\\u0009\\u000a\\u001f\x7f\""},
      {std::string("a\0b", 3), "\"a\\u0000b\""},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5\""},
      {"lat\xE9n", "\"lat" + kReplaced + "n\""},                         // Latin-1
      {"\xC0\xAF", "\"" + kReplaced + kReplaced + "\""},                 // overlong
      {"\xED\xA0\x80", "\"" + kReplaced + kReplaced + kReplaced + "\""}, // a surrogate
      {"\xF4\x90\x80\x80", "\"" + kReplaced + kReplaced + kReplaced + kReplaced + "\""},  // past U+10FFFF
      {"x\xE2\x82", "\"x" + kReplaced + kReplaced + "\""},               // cut short
      {"\x80z", "\"" + kReplaced + "z\""},                               // a lone continuation
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}

TEST(NormalizeJsonWriter, FiguresKeepTheirDecimalsAndObjectsNestInOrder) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    std::optional<double> value;
    int decimals;
    const char* json;
  } figures[] = {
      {-23, 3, "-23.000"}, {-6.0206, 3, "-6.021"}, {0.04216, 4, "0.0422"}, {-0.0004, 3, "0.000"},
      {std::nullopt, 3, "null"}, {inf, 3, "null"}, {-inf, 3, "null"}, {std::nan(""), 3, "null"},
  };
  for (const auto& f : figures) {
    EXPECT_EQ(JsonObject().Number("x", f.value, f.decimals).Text(), std::string("{\"x\":") + f.json + "}");
  }
  EXPECT_EQ(JsonObject()
                .String("file", "a\"b")
                .Bool("written", false)
                .Count("clipped", 12)
                .Object("after", JsonObject().Number("lufs", -16).Object("none", JsonObject()))
                .Raw("names", JsonStrings({"a", "b\\"}))
                .Raw("empty", JsonStrings({}))
                .Bool("dry_run", true)
                .Text(),
            "{\"file\":\"a\\\"b\",\"written\":false,\"clipped\":12,\"after\":{\"lufs\":-16.000,\"none\":{}},"
            "\"names\":[\"a\",\"b\\\\\"],\"empty\":[],\"dry_run\":true}");
}

}  // namespace
}  // namespace normalize
