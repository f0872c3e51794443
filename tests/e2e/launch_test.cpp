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
  EXPECT_TRUE(Lower(program) == Lower(file) || Lower(program).ends_with("\\" + Lower(file))) << line;
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

  // Show commands: normal, minimised after ticking, normal after unticking.
  const int shows[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWNORMAL};
  for (std::size_t i = 0; i < std::size(shows); ++i) {
    SCOPED_TRACE("start " + std::to_string(i + 1));
    if (i > 0) app.Menu(IDM_RUNMINIMIZED1);
    ASSERT_TRUE(app.PickFile(IDC_BITBTN2, plain));
    if (i == 0) app.SetText(IDC_EDIT3, in);  // typed into the field, not chosen
    const std::string params = "-l 0 \"" + (i == 0 ? in : plain) + "\"";
    ASSERT_EQ(app.WaitForCommandLine(params), params);
    ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON1); }));
    app.Click(IDC_BUTTON1);
    const auto launches = WaitForLaunches(i + 1, tool);
    ASSERT_EQ(launches.size(), i + 1);
    const Launch& l = launches.back();
    ExpectStartedAs(l, tool + "normalize", params);
    if (i > 0) EXPECT_EQ(l.args, (std::vector<std::string>{"-l", "0", plain}));
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
  App app(o);
  ASSERT_NE(app.Main(), nullptr);
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  const std::string params = "-l 0 \"" + in + "\"";
  ASSERT_EQ(app.WaitForCommandLine(params), params);
  app.Click(IDC_BUTTON1);
  const auto launches = WaitForLaunches(1, home);
  ASSERT_EQ(launches.size(), 1u);
  ExpectStartedAs(launches[0], "normalize", params);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "0", in}));
  EXPECT_EQ(launches[0].showWindow, SW_SHOWNORMAL);
  EXPECT_FALSE(reg::Read("NormDir").has_value());
}

// A file name in Cyrillic and Japanese letters, chosen through the dialog,
// reaches the field, the composition and the tool's command line intact.
TEST(Launch, FileNamesInAnyScript) {
  const std::string in = ScratchDir("Звуки") + "日本語 ファイル.wav";
  WriteFile(in);
  App app;
  ASSERT_NE(app.Main(), nullptr);
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  EXPECT_EQ(app.WaitForText(IDC_EDIT3, in), in);
  const std::string params = "-l 0 \"" + in + "\"";
  ASSERT_EQ(app.WaitForCommandLine(params), params);
  app.Click(IDC_BUTTON1);
  const auto launches = WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  ExpectStartedAs(launches[0], StandInDir() + "normalize", params);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "0", in}));
}
