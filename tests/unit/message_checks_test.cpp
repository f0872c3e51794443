// The texts and places the front end works out before it shows or starts
// something: quoting a text in a message, the checks before a start,
// and where the About box may stand.
#include <gtest/gtest.h>

#include "options/message_quote.h"
#include "options/number_check.h"
#include "options/start_check.h"
#include "ui/box_placement.h"

namespace quilbo {
namespace {

TEST(QuotedForMessage, CutsLongTextsWithAnEllipsisNeverInsideACharacter) {
  EXPECT_EQ(QuotedForMessage("abc", '\''), "'abc'");
  EXPECT_EQ(QuotedForMessage("", '"'), "\"\"");
  EXPECT_EQ(QuotedForMessage(std::string(60, '7'), '\''), "'" + std::string(60, '7') + "'");
  EXPECT_EQ(QuotedForMessage(std::string(61, '7'), '\''), "'" + std::string(60, '7') + "...'");
  EXPECT_EQ(QuotedForMessage(std::string(100000, '9'), '"').size(), 65u);
  // "x" and three-byte characters: the cut at 60 would split the 20th, so it ends after the 19th.
  std::string cjk;
  for (int i = 0; i < 30; ++i) cjk += "\xE6\x97\xA5";
  EXPECT_EQ(QuotedForMessage("x" + cjk, '"'), "\"x" + cjk.substr(0, 57) + "...\"");
}

TEST(QuotedPathForMessage, QuotesAPathWindowsTakesWholeAndCutsOnlyLongerOnes) {
  const std::string longest = "C:\\" + std::string(256, 'p');
  EXPECT_EQ(QuotedPathForMessage(longest, 259, '"'), "\"" + longest + "\"");
  EXPECT_EQ(QuotedPathForMessage(longest + "q", 260, '"'), "\"C:\\" + std::string(57, 'p') + "...\"");
  // Characters count, not bytes: 259 characters of three bytes each are still whole.
  std::string cjk;
  for (int i = 0; i < 259; ++i) cjk += "\xE6\x97\xA5";
  EXPECT_EQ(QuotedPathForMessage(cjk, 259, '\''), "'" + cjk + "'");
}

TEST(UnconvertedNumberMessage, ChecksOnlyTheFieldsTheCommandLineUses) {
  TNumberTexts texts;
  texts.ratio = "1.5";
  texts.level = "x";
  texts.percent = "100";
  texts.bufferSize = "";
  texts.abortLevel = "-";
  EXPECT_EQ(UnconvertedNumberMessage(texts), "Ratio \"1.5\" is not a whole number");
  texts.ratio = "42 ";
  EXPECT_EQ(UnconvertedNumberMessage(texts), "Ratio \"42 \" is not a whole number");
  texts.ratio = " 250";  // out of range, but a number: started as typed
  EXPECT_EQ(UnconvertedNumberMessage(texts), std::nullopt);
  texts.mode = TAmplifyMode::amLevel;
  EXPECT_EQ(UnconvertedNumberMessage(texts), "Level \"x\" is not a whole number");
  texts.mode = TAmplifyMode::amPercent;
  EXPECT_EQ(UnconvertedNumberMessage(texts), std::nullopt);
  texts.abortEnabled = true;
  EXPECT_EQ(UnconvertedNumberMessage(texts), "Abort level \"-\" is not a whole number");
  texts.bufferSizeEnabled = true;  // comes first in the command line
  EXPECT_EQ(UnconvertedNumberMessage(texts), "Buffer size \"\" is not a whole number");
  texts.bufferSize = "$40";
  texts.abortLevel = "3";
  EXPECT_EQ(UnconvertedNumberMessage(texts), std::nullopt);
  texts.percent = std::string(500, '1');  // beyond 32 bits, and quoted short
  EXPECT_EQ(UnconvertedNumberMessage(texts), "Percent \"" + std::string(60, '1') + "...\" is not a whole number");
}

// Every form of 0 the integer rule reads; the numbers are checked first.
TEST(StartRefusal, RefusesARatioOfZeroAndTheOutputPlaceholderAfterTheNumbers) {
  TNumberTexts numbers;
  for (const char* ratio : {"0", "-0", "+00", "$0", " 0x0"}) {
    numbers.ratio = ratio;
    EXPECT_EQ(StartRefusal(numbers, true, kOutputPlaceholder),
              "A ratio of 0 would silence the file; choose another ratio.") << ratio;
  }
  numbers.ratio = "0.5";
  EXPECT_EQ(StartRefusal(numbers, false, ""), "Ratio \"0.5\" is not a whole number");
  numbers.ratio = "-1";
  EXPECT_EQ(StartRefusal(numbers, true, kOutputPlaceholder), "Choose an output file, or untick -o <file>.");
  EXPECT_EQ(StartRefusal(numbers, false, kOutputPlaceholder), std::nullopt);
  EXPECT_EQ(StartRefusal(numbers, true, "Select Output File! "), std::nullopt);
  numbers.mode = TAmplifyMode::amLevel;  // a ratio not used is not checked
  numbers.ratio = numbers.level = "0";
  EXPECT_EQ(StartRefusal(numbers, false, ""), std::nullopt);
}

TEST(FitIntoArea, KeepsAPlaceThatFitsElseMovesJustEnough) {
  const ScreenRect work{0, 0, 1024, 738};
  const struct {
    ScreenPoint wanted;
    int width, height;
    ScreenRect area;
    ScreenPoint placed;
  } cases[] = {
      {{848, 190}, 262, 185, {0, 0, 1280, 1024}, {848, 190}},     // fits: unchanged
      {{848, 190}, 262, 185, work, {762, 190}},                   // past the right edge
      {{848, 700}, 262, 185, work, {762, 553}},                   // and past the bottom
      {{-50, -20}, 262, 185, work, {0, 0}},
      {{848, 190}, 262, 185, {1280, 0, 2560, 1024}, {1280, 190}}, // another monitor, to the right
      {{848, 190}, 2000, 185, work, {0, 190}},                    // wider than the area: left edge shown
  };
  for (const auto& c : cases) {
    const ScreenPoint p = FitIntoArea(c.wanted, c.width, c.height, c.area);
    EXPECT_EQ(p.x, c.placed.x) << c.wanted.x << "," << c.wanted.y;
    EXPECT_EQ(p.y, c.placed.y) << c.wanted.x << "," << c.wanted.y;
  }
}

}  // namespace
}  // namespace quilbo
