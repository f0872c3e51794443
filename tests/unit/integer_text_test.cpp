#include "options/integer_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace quilbo {
namespace {

struct ParseCase {
  const char* text;
  std::optional<std::int32_t> expected;
};

TEST(IntegerText, ReadsEveryFormOfTheGrammar) {
  const ParseCase cases[] = {
      // decimal, signs, leading blanks and zeros
      {"0", 0}, {"7", 7}, {"-7", -7}, {"+7", 7}, {"  42", 42}, {"007", 7},
      {"-0", 0}, {"+000", 0}, {"   -0012", -12},
      // 32-bit limits both ways
      {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
      {"+2147483647", 2147483647}, {"0002147483647", 2147483647},
      // hexadecimal prefixes, either case of digits, taken as a 32-bit pattern
      {"$1F", 31}, {"$1f", 31}, {"x10", 16}, {"X10", 16}, {"0x10", 16}, {"0X10", 16},
      {"$FFFFFFFF", -1}, {"$ffffffff", -1}, {"$80000000", INT32_MIN}, {"$7FFFFFFF", 2147483647},
      {"$000000001", 1}, {"  $100", 256}, {"0x0", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIntegerText(c.text), c.expected) << '"' << c.text << '"';
}

TEST(IntegerText, RefusesEveryFailureForm) {
  const char* failures[] = {
      "", " ", "   ", "-", "+", "$", "x", "X", "0x", "0X", "+-1", "--1", "++1",
      "1 ", "64 ", "1.5", "1,5", "12a", "a12", "\t1", "1\t", "- 1",
      "2147483648", "-2147483649", "99999999999", "-99999999999",
      "$100000000", "$1FFFFFFFF", "$G", "0xG", "-$1", "+$1", "-0x1", "$ 1", "0x-1", "x+1",
  };
  for (const char* text : failures) EXPECT_EQ(ParseIntegerText(text), std::nullopt) << '"' << text << '"';
}

TEST(IntegerText, StopsAtNothingButTheEnd) {
  // A zero byte inside the text is an ordinary character that is not a digit.
  EXPECT_EQ(ParseIntegerText(std::string("12\0" "3", 4)), std::nullopt);
}

TEST(IntegerText, WritesShortestSignedDecimal) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(64), "64");
  EXPECT_EQ(DecimalText(-6), "-6");
  EXPECT_EQ(DecimalText(INT32_MIN), "-2147483648");
  EXPECT_EQ(DecimalText(INT32_MAX), "2147483647");
  for (std::int32_t v : {INT32_MIN, -100, -1, 0, 1, 16384, INT32_MAX})
    EXPECT_EQ(ParseIntegerText(DecimalText(v)), v);
}

}  // namespace
}  // namespace quilbo
