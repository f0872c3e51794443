// The tool's numbers: plain decimal, whole within int, fractions only where
// asked for.
#include <gtest/gtest.h>

#include <climits>

#include "cli/number_text.h"

namespace normalize {
namespace {

TEST(NormalizeNumberText, WholeNumbersArePlainDecimalWithinInt) {
  EXPECT_EQ(WholeNumber("0"), 0);
  EXPECT_EQ(WholeNumber("+7"), 7);
  EXPECT_EQ(WholeNumber("-007"), -7);
  EXPECT_EQ(WholeNumber("2147483647"), INT_MAX);
  EXPECT_EQ(WholeNumber("-2147483648"), INT_MIN);
  for (const char* refused : {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999", " 5", "5 ",
                              "0x10", "$10", "x10", "1.0", "1e3", "--1", "+-1"}) {
    EXPECT_EQ(WholeNumber(refused), std::nullopt) << refused;
  }
}

TEST(NormalizeNumberText, DecimalsTakeAFractionButNoOtherForm) {
  EXPECT_EQ(DecimalNumber("-23"), -23.0);
  EXPECT_EQ(DecimalNumber("-14.5"), -14.5);
  EXPECT_EQ(DecimalNumber("-.5"), -0.5);
  EXPECT_EQ(DecimalNumber("5."), 5.0);
  EXPECT_EQ(DecimalNumber("+999999.25"), 999999.25);
  for (const char* refused : {"", ".", "-", "-.", "1234567", "1.2.3", "1e3", "inf", "nan", "0x1p3", " 1", "1,5",
                              "--1"}) {
    EXPECT_EQ(DecimalNumber(refused), std::nullopt) << refused;
  }
}

}  // namespace
}  // namespace normalize
