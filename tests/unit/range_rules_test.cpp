#include "options/range_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>

namespace quilbo {
namespace {

constexpr RangeLimits kRatio{-100, 100};
constexpr RangeLimits kLevel{-30, 30};
constexpr RangeLimits kBuffer{16, 16384};
constexpr RangeLimits kWhole{INT32_MIN, INT32_MAX};

TEST(RangeRules, ReadsTextAsTypedOrTheMinimum) {
  struct Case {
    RangeLimits limits;
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {kRatio, "0", 0},
      {kRatio, "500", 500},             // out of range reads as typed
      {kRatio, "-500", -500},
      {kBuffer, "5", 5},
      {kRatio, "$1F", 31},              // hexadecimal
      {kRatio, "  42", 42},             // leading blanks skipped
      {kRatio, "", -100},               // empty
      {kRatio, "-", -100},              // lone sign
      {kBuffer, "12345678901", 16},     // beyond 32 bits
      {kBuffer, "2147483647", INT32_MAX},
      {kBuffer, "2147483648", 16},
      {kRatio, "1,5", -100},            // a decimal separator does not convert
      {kRatio, "1.5", -100},
      {kRatio, "12 ", -100},            // trailing blank
      {kRatio, "a", -100},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadRangeValue(c.limits, c.text), c.expected) << '"' << c.text << '"';
}

TEST(RangeRules, SetValueClampsAndWritesShortestDecimal) {
  struct Case {
    RangeLimits limits;
    std::int64_t value;
    const char* expected;
  };
  const Case cases[] = {
      {kRatio, 0, "0"},
      {kRatio, -7, "-7"},
      {kRatio, 100, "100"},
      {kRatio, 101, "100"},
      {kRatio, -101, "-100"},
      {kBuffer, 5, "16"},
      {kBuffer, 20000, "16384"},
      {kBuffer, std::int64_t{INT32_MAX} + 1, "16384"},
      {kBuffer, std::int64_t{INT32_MIN} - 1, "16"},
      {kWhole, INT32_MIN, "-2147483648"},
      {kWhole, std::int64_t{INT32_MAX} + 1, "2147483647"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RangeValueText(c.limits, c.value), c.expected) << c.value;
    EXPECT_EQ(std::to_string(ClampToRange(c.limits, c.value)), c.expected) << c.value;
  }
}

TEST(RangeRules, StepsClampWithoutWrapping) {
  struct Case {
    RangeLimits limits;
    const char* text;
    int direction;
    const char* expected;
  };
  const Case cases[] = {
      {kLevel, "29", +1, "30"},
      {kLevel, "30", +1, "30"},
      {kLevel, "-30", -1, "-30"},
      {kLevel, "0", -1, "-1"},
      {kLevel, "500", -1, "30"},         // typed out of range: the step clamps
      {kLevel, "", +1, "-29"},           // unconvertible text steps from the minimum
      {kLevel, "", -1, "-30"},
      {kRatio, "$1F", +1, "32"},
      {kBuffer, "2147483647", +1, "16384"},  // an up step never lowers the value
      {kBuffer, "-2147483648", -1, "16"},
      {kWhole, "2147483647", +1, "2147483647"},
      {kWhole, "-2147483648", -1, "-2147483648"},
      {kWhole, "$FFFFFFFF", +1, "0"},    // the hex pattern reads as -1
  };
  for (const Case& c : cases)
    EXPECT_EQ(SteppedRangeText(c.limits, c.text, c.direction), c.expected)
        << '"' << c.text << "\" " << c.direction;
}

TEST(RangeRules, LeavingClampsOnlyConvertibleOutOfRangeText) {
  struct Case {
    RangeLimits limits;
    const char* text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {kRatio, "500", "100"},
      {kRatio, "-500", "-100"},
      {kBuffer, "20000", "16384"},
      {kBuffer, "5", "16"},
      {kBuffer, "0x10", std::nullopt},          // reads 16: in range, text stays
      {kRatio, "$1F", std::nullopt},
      {kRatio, "007", std::nullopt},            // in range; not rewritten to 7
      {kRatio, "", std::nullopt},               // stays empty, reads as the minimum
      {kRatio, "-", std::nullopt},
      {kBuffer, "12345678901", std::nullopt},   // reads as the minimum
      {kRatio, "$FFFFFFFF", std::nullopt},      // -1
      {kRatio, "$7FFFFFFF", "100"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RangeTextOnFocusLoss(c.limits, c.text), c.expected) << '"' << c.text << '"';
}

TEST(RangeRules, KeyFilterTakesSignsDigitsSeparatorAndControlsButEnter) {
  for (char c : std::string("+-0123456789.")) EXPECT_TRUE(IsAcceptedRangeChar(c, '.')) << c;
  EXPECT_TRUE(IsAcceptedRangeChar(',', ','));
  EXPECT_FALSE(IsAcceptedRangeChar(',', '.'));
  EXPECT_FALSE(IsAcceptedRangeChar('.', ','));
  for (int code = 0; code < 32; ++code)
    EXPECT_EQ(IsAcceptedRangeChar(static_cast<char>(code), '.'), code != 13) << code;
  for (char c : std::string(" aAzZ$xX/:*=\x7f")) EXPECT_FALSE(IsAcceptedRangeChar(c, '.')) << c;
  EXPECT_FALSE(IsAcceptedRangeChar('\xE9', '.'));  // a high ANSI letter is not a control
  EXPECT_TRUE(IsAcceptedRangeChar('\xA0', '\xA0'));  // a no-break-space separator
}

}  // namespace
}  // namespace quilbo
