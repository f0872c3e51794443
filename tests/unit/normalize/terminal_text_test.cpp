// Names from outside shown on a terminal: no control character reaches it
// raw, and a line cut to the console's width is cut between characters.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/terminal_text.h"
#include "job/batch.h"

namespace normalize::test {
namespace {

TEST(NormalizeTerminalText, ControlCharactersAndStrayBytesAreEscaped) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"plain \xC3\xA9t\xC3\xA9.wav", "plain \xC3\xA9t\xC3\xA9.wav"},
      {"\x1b]0;title\x07x.wav", "\\x1b]0;title\\x07x.wav"},
      {"tab\tnew\nline\rdel\x7f", "tab\\x09new\\x0aline\\x0ddel\\x7f"},
      {"c1 \xC2\x9B" "31m", "c1 \\xc2\\x9b31m"},                  // CSI as a character
      {"raw \x9B" "31m", "raw \\x9b31m"},                          // CSI as a lone byte
      {"caf\xE9 \xE2\x82", "caf\\xe9 \\xe2\\x82"},                 // Latin-1, cut short
      {"\xF0\x9F\x8E\xB5 back\\slash", "\xF0\x9F\x8E\xB5 back\\slash"},
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalSafe(c.name), c.shown) << c.shown;
}

TEST(NormalizeTerminalText, TheProgressLineIsSafeAndCutBetweenCharacters) {
  const struct {
    std::string name;
    std::size_t columns;  // of the line drawn
    std::string ends;
  } cases[] = {
      {"\x1b[2J" "a.wav", 35, "at \\x1b[2Ja.wav"},
      {std::string(50, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 79, "a\xC3\xA9\xC3\xA9\xC3\xA9..."},
      {std::string(51, 'a') + "\xE6\x9B\xB2\xE6\x9B\xB2\xE6\x9B\xB2", 79, "a\xE6\x9B\xB2..."},  // wide: two columns each
      {std::string(52, 'a') + "\xE6\x9B\xB2\xE6\x9B\xB2\xE6\x9B\xB2", 78, "a..."},
      {std::string(40, '\x1b'), 79, "\\x1b\\..."},
  };
  for (const auto& c : cases) {
    std::ostringstream err;
    {
      BatchProgress progress(err, true);
      progress.Show(3, 60, c.name);
    }
    const std::string drawn = err.str().substr(0, err.str().find('\r'));
    EXPECT_EQ(drawn.find('\x1b'), std::string::npos) << drawn;
    EXPECT_EQ(TerminalSafe(drawn), drawn) << "not whole characters: " << drawn;
    EXPECT_EQ(Columns(drawn), c.columns) << drawn;
    EXPECT_EQ(drawn.substr(drawn.size() - c.ends.size()), c.ends) << drawn;
    // Erased with as many blanks as it took columns.
    std::string erased(c.columns + 2, ' ');
    erased.front() = erased.back() = '\r';
    EXPECT_EQ(err.str().substr(drawn.size()), erased) << drawn;
  }
}

}  // namespace
}  // namespace normalize::test
