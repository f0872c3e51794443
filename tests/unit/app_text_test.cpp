#include "ui/app_text.h"

#include <gtest/gtest.h>

namespace quilbo {
namespace {

TEST(ApplicationTitle, NameWithoutDirectoryCutAtFirstDotRestLowered) {
  const struct {
    const char* path;
    const char* title;
  } cases[] = {
      {"C:\\Program Files\\Quilbo\\Quilbo.exe", "Quilbo"},
      {"C:\\x\\QUILBO.EXE", "Quilbo"},
      {"C:\\x\\quilbo.exe", "quilbo"},  // the first character keeps its case
      {"C:\\my.dir\\Quilbo.Front.End.exe", "Quilbo"},
      {"\\\\server\\share\\NoExt", "Noext"},
      {"D:Quilbo.exe", "Quilbo"},
      {"Quilbo.exe", "Quilbo"},
      {"C:\\x\\.exe", ""},
      {"C:\\x\\\xC9T\xC9.exe", "\xC9t\xC9"},  // only ASCII letters change
  };
  for (const auto& c : cases) EXPECT_EQ(ApplicationTitle(c.path), c.title) << c.path;
}

TEST(ErrorBoxText, FullStopOnlyAfterCharactersAboveTheFullStop) {
  const struct {
    const char* message;
    const char* text;
  } cases[] = {
      {"Failed to set data for 'ratio'", "Failed to set data for 'ratio'"},
      {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
      {"Error 5", "Error 5."},
      {"Why?", "Why?."},
      {"Path:", "Path:."},
      {"caf\xE9", "caf\xE9."},  // an accented letter is above the full stop as an unsigned byte
      {"Done.", "Done."},
      {"Stop!", "Stop!"},
      {"(see above)", "(see above)"},
      {"trailing blank ", "trailing blank "},
      {"quoted \"x\"", "quoted \"x\""},
      {"slash/", "slash/."},  // '/' is 0x2F, just above
      {"dash-", "dash-"},     // '-' is 0x2D, just below
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.text) << c.message;
}

TEST(ShortHint, TextBeforeTheFirstBar) {
  EXPECT_EQ(ShortHint("Buffer Size|Specify I/O buffer size (in KB; 16..16384; default 64)"),
            "Buffer Size");
  EXPECT_EQ(ShortHint("a|b|c"), "a");
  EXPECT_EQ(ShortHint("no bar"), "no bar");
  EXPECT_EQ(ShortHint("|long only"), "");
}

}  // namespace
}  // namespace quilbo
