// Starting the tool: what the stand-in normalize.exe sees of its start.
#include "harness/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace e2e;

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string DecimalSeparator() {
  char separator[8] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator);
  return separator;
}

std::string WithoutTrailingBackslash(std::string dir) {
  if (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  return dir;
}

// The shell was asked to open `file` (no extension) with `params`: the tool's
// command line names that file, possibly quoted or with ".exe", then the
// parameters unchanged.
void ExpectStartedAs(const Launch& launch, const std::string& file, const std::string& params) {
  const std::string& line = launch.commandLine;
  ASSERT_GE(line.size(), params.size() + 1) << line;
  EXPECT_EQ(line.substr(line.size() - params.size() - 1), " " + params) << line;
  std::string program = line.substr(0, line.size() - params.size() - 1);
  program.erase(std::remove(program.begin(), program.end(), '"'), program.end());
  if (Lower(program).size() > 4 && Lower(program).ends_with(".exe")) program.resize(program.size() - 4);
  const std::string lowerFile = Lower(file);
  EXPECT_TRUE(Lower(program) == lowerFile || Lower(program).ends_with("\\" + lowerFile)) << line;
}

}  // namespace

// From a chosen tool directory (with a space in its name): the tool is
// "<ToolDir>normalize" with Edit2's text, run in ToolDir, shown normally or
// minimised as "&Run Minimized" says at the moment of the click.
TEST(Launch, FromTheToolDirectory) {
  const std::string tool = ScratchDir("norm tool");
  CopyFileTo(StandInPath(), tool + "normalize.exe");
  const std::string in = ScratchDir("my waves") + "a  \"b\" c.wav";  // spaces and a quote
  const std::string plain = ScratchDir("my waves") + "plain.wav";
  WriteFile(plain);
  StartOptions o;
  o.toolDir = tool;
  App app(o);
  ASSERT_NE(app.Main(), nullptr);
  app.SetText(IDC_SPINEDIT1, "2");  // a ratio of 0 is refused

  // Show commands: normal, minimised after ticking, normal after unticking.
  const int shows[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWNORMAL};
  for (std::size_t i = 0; i < std::size(shows); ++i) {
    SCOPED_TRACE("start " + std::to_string(i + 1));
    if (i > 0) app.Menu(IDM_RUNMINIMIZED1);
    ASSERT_TRUE(app.PickFile(IDC_BITBTN2, plain));
    if (i == 0) app.SetText(IDC_EDIT3, in);  // typed into the field, not chosen
    const std::string params = "-l 2 \"" + (i == 0 ? in : plain) + "\"";
    ASSERT_EQ(app.WaitForCommandLine(params), params);
    ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON1); }));
    app.Click(IDC_BUTTON1);
    const auto launches = WaitForLaunches(i + 1, tool);
    ASSERT_EQ(launches.size(), i + 1);
    const Launch& l = launches.back();
    ExpectStartedAs(l, tool + "normalize", params);
    if (i > 0) {
      EXPECT_EQ(l.args, (std::vector<std::string>{"-l", "2", plain}));
    }
    EXPECT_EQ(l.currentDir, WithoutTrailingBackslash(tool));
    EXPECT_TRUE(l.useShowWindow);
    EXPECT_EQ(l.showWindow, shows[i]);
  }
  EXPECT_TRUE(Launches().empty()) << "the stand-in in bin\\stand-in must not have run";
}

// With ToolDir empty (no access to the settings) the shell looks "normalize"
// up by name alone: found here in the program's own folder. The tool then runs
// in the program's current folder, wherever the file dialog left it.
TEST(Launch, EmptyToolDirLooksTheToolUpByName) {
  const std::string home = ScratchDir("app");
  CopyFileTo(ProgramPath(), home + "Quilbo.exe");
  CopyFileTo(StandInPath(), home + "normalize.exe");
  const std::string in = ScratchDir("waves") + "in.wav";
  WriteFile(in);
  StartOptions o;
  o.registry = StartOptions::Registry::Denied;
  o.exe = home + "Quilbo.exe";
  o.waitForMainWindow = false;
  App app(o);
  EXPECT_NE(app.NextMessage().find("cannot be stored"), std::string::npos);
  ASSERT_NE(app.WaitForMain(), nullptr);
  app.SetText(IDC_SPINEDIT1, "2");
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  const std::string params = "-l 2 \"" + in + "\"";
  ASSERT_EQ(app.WaitForCommandLine(params), params);
  app.Click(IDC_BUTTON1);
  const auto launches = WaitForLaunches(1, home);
  ASSERT_EQ(launches.size(), 1u);
  ExpectStartedAs(launches[0], "normalize", params);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "2", in}));
  EXPECT_EQ(launches[0].showWindow, SW_SHOWNORMAL);
  EXPECT_FALSE(reg::Read("NormDir").has_value());
}

// A file name in Cyrillic and Japanese letters, chosen through the dialog,
// reaches the field, the composition and the tool's command line intact; so
// does a path of far more than 260 bytes (but fewer than 260 characters).
TEST(Launch, FileNamesInAnyScript) {
  std::string longName;
  for (int i = 0; i < 40; ++i) longName += "音";
  const std::string shortPath = ScratchDir("Звуки") + "日本語 ファイル.wav";
  const std::string longPath = ScratchDir("Звуки\\" + longName) + longName + "日本語.wav";
  ASSERT_GT(longPath.size(), 300u);
  App app;
  ASSERT_NE(app.Main(), nullptr);
  app.SetText(IDC_SPINEDIT1, "2");
  std::size_t started = 0;
  for (const std::string& in : {shortPath, longPath}) {
    SCOPED_TRACE(in);
    WriteFile(in);
    ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
    EXPECT_EQ(app.WaitForText(IDC_EDIT3, in), in);
    const std::string params = "-l 2 \"" + in + "\"";
    ASSERT_EQ(app.WaitForCommandLine(params), params);
    app.Click(IDC_BUTTON1);
    const auto launches = WaitForLaunches(++started);
    ASSERT_EQ(launches.size(), started);
    ExpectStartedAs(launches.back(), StandInDir() + "normalize", params);
    EXPECT_EQ(launches.back().args, (std::vector<std::string>{"-l", "2", in}));
  }
}

// A number field the command line takes, whose text does not convert (shown as
// the field's minimum), starts nothing: the message names the field and its
// text, the buttons stay as they were, and the corrected press starts the tool.
TEST(Launch, ANumberThatDoesNotConvertStartsNothing) {
  const std::string in = ScratchDir() + "in.wav";
  WriteFile(in);
  App app;
  ASSERT_NE(app.Main(), nullptr);
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));

  // Typed with real keys: the key filter lets the decimal separator through.
  std::string typed = "1";
  typed += DecimalSeparator();
  typed += "5";
  app.SetText(IDC_SPINEDIT1, "");
  ASSERT_TRUE(Focus(app.Control(IDC_SPINEDIT1)));
  TypeText(typed);
  ASSERT_EQ(app.WaitForCommandLine("-l -100 \"" + in + "\""), "-l -100 \"" + in + "\"");
  app.Click(IDC_BUTTON1);
  EXPECT_EQ(app.NextMessage(), "Ratio \"" + typed + "\" is not a whole number.");
  EXPECT_TRUE(app.Enabled(IDC_BUTTON1));

  // "Process", with the buffer size ticked and "42 " pasted into its field.
  app.SetText(IDC_SPINEDIT1, "7");
  app.Click(IDC_CHECKBOX1);
  app.SetText(IDC_SPINEDIT5, "42 ");
  app.Click(IDC_CHECKBOX2);
  ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON2); }));
  ASSERT_EQ(app.WaitForCommandLine("-l 7 -b 16 \"" + in + "\""), "-l 7 -b 16 \"" + in + "\"");
  app.Click(IDC_BUTTON2);
  EXPECT_EQ(app.NextMessage(), "Buffer size \"42 \" is not a whole number.");
  EXPECT_TRUE(app.Enabled(IDC_BUTTON2));
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX2));
  EXPECT_TRUE(Stays([] { return Launches().empty(); }, Ms(300)));

  app.SetText(IDC_SPINEDIT5, "42");
  ASSERT_EQ(app.WaitForCommandLine("-l 7 -b 42 \"" + in + "\""), "-l 7 -b 42 \"" + in + "\"");
  app.Click(IDC_BUTTON2);
  const auto launches = WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "7", "-b", "42", in}));
  EXPECT_EQ(app.Dialog(), nullptr);
}

// The window starts on a ratio of 0, which would silence the file, and a
// cancelled output picker leaves its placeholder as the output: neither "Go!"
// nor "Process" starts such a command line, and both stay as they were.
TEST(Launch, ARatioOfZeroOrTheOutputPlaceholderStartsNothing) {
  const std::string in = ScratchDir() + "in.wav";
  App app;
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  app.Click(IDC_BUTTON1);
  EXPECT_EQ(app.NextMessage(), "A ratio of 0 would silence the file; choose another ratio.");
  app.Click(IDC_CHECKBOX2);
  ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON2); }));
  app.Click(IDC_BUTTON2);
  EXPECT_EQ(app.NextMessage(), "A ratio of 0 would silence the file; choose another ratio.");

  app.SetText(IDC_SPINEDIT1, "2");
  app.Click(IDC_CHECKBOX4);  // opens the output picker, which is cancelled
  CancelDialog(app.WaitForDialog());
  ASSERT_TRUE(app.WaitForNoDialog());
  app.Click(IDC_BUTTON2);
  EXPECT_EQ(app.NextMessage(), "Choose an output file, or untick -o <file>.");
  EXPECT_TRUE(app.Enabled(IDC_BUTTON1) && app.Enabled(IDC_BUTTON2) && app.Checked(IDC_CHECKBOX2));

  app.Click(IDC_CHECKBOX4);
  ASSERT_EQ(app.WaitForCommandLine("-l 2 \"" + in + "\""), "-l 2 \"" + in + "\"");
  app.Click(IDC_BUTTON2);
  const auto launches = WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "2", in}));
}

// A start the shell refuses is reported with the path tried and the reason,
// and "Go!" and "Process" stay as they were: a folder without the tool, and a
// stored folder without its closing backslash (reported at start-up too).
TEST(Launch, AFailedStartIsReportedAndChangesNothing) {
  const std::string in = ScratchDir() + "in.wav";
  WriteFile(in);
  {
    const std::string empty = ScratchDir("no tool");
    StartOptions o;
    o.toolDir = empty;
    App app(o);
    ASSERT_NE(app.Main(), nullptr);
    app.SetText(IDC_SPINEDIT1, "2");
    ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
    const std::string tried = "Cannot start \"" + empty + "normalize\": ";
    app.Click(IDC_BUTTON1);
    std::string message = app.NextMessage();
    EXPECT_EQ(message.substr(0, tried.size()), tried);
    EXPECT_GT(message.size(), tried.size() + 3) << "a reason follows";
    EXPECT_TRUE(app.Enabled(IDC_BUTTON1));
    app.Click(IDC_CHECKBOX2);
    ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON2); }));
    app.Click(IDC_BUTTON2);
    message = app.NextMessage();
    EXPECT_EQ(message.substr(0, tried.size()), tried);
    EXPECT_TRUE(app.Enabled(IDC_BUTTON1));
    EXPECT_TRUE(app.Enabled(IDC_BUTTON2));
    EXPECT_TRUE(app.Checked(IDC_CHECKBOX2));
  }
  {
    const std::string noBackslash = "C:\\Quilbo tools\\norm";
    StartOptions o;
    o.toolDir = noBackslash;
    o.waitForMainWindow = false;
    App app(o);
    EXPECT_NE(app.NextMessage().find("is not a usable tool folder: it does not end in a backslash."),
              std::string::npos);
    ASSERT_NE(app.WaitForMain(), nullptr);
    app.SetText(IDC_SPINEDIT1, "2");
    ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
    app.Click(IDC_BUTTON1);
    const std::string tried = "Cannot start \"" + noBackslash + "normalize\": ";
    EXPECT_EQ(app.NextMessage().substr(0, tried.size()), tried);
    EXPECT_TRUE(app.Enabled(IDC_BUTTON1));
    EXPECT_TRUE(Launches().empty());
  }
}

// A stored tool folder of a thousand characters is reported at start-up and
// refused at "Go!", where it used to overrun the shell and end the program; an
// input path typed too long for a command line is refused, not started cut.
TEST(Launch, APathTooLongForWindowsIsRefusedNotCutOrCrashedOn) {
  const std::string in = ScratchDir() + "in.wav";
  WriteFile(in);
  const std::string longDir = "C:\\" + std::string(996, 'd') + "\\";
  StartOptions o;
  o.toolDir = longDir;
  o.waitForMainWindow = false;
  App app(o);
  EXPECT_EQ(app.NextMessage(), "'C:\\" + std::string(57, 'd') +
                                  "...' is not a usable tool folder: the tool's path would be 1009 "
                                  "characters long, and Windows takes at most 259.");
  ASSERT_NE(app.WaitForMain(), nullptr);
  app.SetText(IDC_SPINEDIT1, "2");
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  app.Click(IDC_BUTTON1);
  EXPECT_EQ(app.NextMessage(), "Cannot start \"C:\\" + std::string(57, 'd') +
                                  "...\": the path is 1009 characters long, and Windows takes at most 259.");
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(app.Enabled(IDC_BUTTON1));
  app.Terminate();

  // A tool path of 259 characters, the most Windows takes, is named whole.
  StartOptions atTheLimit;
  atTheLimit.toolDir = "C:\\" + std::string(246, 'l') + "\\";
  App second(atTheLimit);
  ASSERT_NE(second.Main(), nullptr);
  second.SetText(IDC_SPINEDIT1, "2");
  ASSERT_TRUE(second.PickFile(IDC_BITBTN2, in));
  const std::string typed = "C:\\" + std::string(40000, 'a') + ".wav";
  second.SetText(IDC_EDIT3, typed);
  ASSERT_TRUE(WaitUntil([&] { return second.CommandLine().size() > typed.size(); }));
  second.Click(IDC_BUTTON1);
  const std::string message = second.NextMessage();
  const std::string expected = "Cannot start \"" + atTheLimit.toolDir + "normalize\": the command line would be ";
  EXPECT_EQ(message.substr(0, expected.size()), expected) << message;
  EXPECT_TRUE(Launches().empty()) << "a cut command line must not start";
}
