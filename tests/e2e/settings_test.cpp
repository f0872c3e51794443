// The settings store and the tool directory against the real registry and the
// real folder browser: first run, restoring, bad stored values, removal, Run
// Minimized, choosing the directory again and the save at the end of a session.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "harness/harness.h"

using namespace e2e;

namespace {

using Values = std::map<std::string, std::string>;

// A folder holding its own copy of the stand-in tool, ending in a backslash.
std::string ToolFolder(const std::string& name) {
  const std::string dir = ScratchDir(name);
  CopyFileTo(StandInPath(), dir + "normalize.exe");
  return dir;
}

// The next folder browser of the program, other than `previous`.
HWND WaitForBrowser(App& app, HWND previous = nullptr) {
  HWND browser = nullptr;
  WaitUntil([&] {
    browser = app.Dialog();
    return browser && browser != previous && IsWindow(browser) && IsFolderBrowser(browser);
  });
  return browser && IsFolderBrowser(browser) && browser != previous ? browser : nullptr;
}

bool HasChildText(HWND window, const std::string& text) {
  for (HWND child : Children(window)) {
    if (Text(child) == text) return true;
  }
  return false;
}

// Chooses `dir` (ending in a backslash) in an open folder browser.
void ChooseInBrowser(HWND browser, const std::string& dir) {
  ASSERT_TRUE(SelectFolderInBrowser(browser, dir.substr(0, dir.size() - 1)));
  OkDialog(browser);
}

// Closes the program through its close box and waits until it has ended.
void CloseAndWait(App& app) {
  PostClose(app.Main());
  ASSERT_TRUE(app.WaitForExit()) << "the program did not end";
}

void StartToolWith(App& app, const std::string& input) {
  app.SetText(IDC_SPINEDIT1, "2");  // a ratio of 0 is refused
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, input));
  ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON1); }));
  app.Click(IDC_BUTTON1);
}

const Values kDefaults = {{"Minimized", "no"}, {"ratio", "0"},  {"level", "0"},  {"percent", "50"},
                          {"size", "64"},      {"xlevel", "0"}, {"MT", "no"},    {"size?", "no"},
                          {"level?", "no"},    {"cual?", "a"}};

}  // namespace

TEST(Settings, FirstRunAsksForTheToolFolderUntilChosenAndLaunchesFromIt) {
  const std::string tools = ToolFolder("tools");
  const std::string input = ScratchDir("in") + "first.wav";
  WriteFile(input);
  StartOptions options;
  options.registry = StartOptions::Registry::FirstRun;
  options.waitForMainWindow = false;
  App app(options);

  HWND browser = WaitForBrowser(app);
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(HasChildText(browser, "Select Normalize Directory"));
  CancelDialog(browser);
  HWND again = WaitForBrowser(app, browser);
  ASSERT_NE(again, nullptr) << "cancelling must bring the browser back";
  ChooseInBrowser(again, tools);

  ASSERT_NE(app.WaitForMain(), nullptr);
  Values expected = kDefaults;
  expected["NormDir"] = tools;
  EXPECT_EQ(reg::ReadAll(), expected);
  EXPECT_EQ(reg::Type("NormDir"), static_cast<DWORD>(REG_SZ));
  // The defaults are for the store; the window keeps its own initial state.
  EXPECT_TRUE(app.Checked(IDC_RADIOBUTTON1));
  EXPECT_EQ(app.Text(IDC_SPINEDIT3), "100");

  StartToolWith(app, input);
  const auto launches = WaitForLaunches(1, tools);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].currentDir + "\\", tools);
  EXPECT_EQ(launches[0].showWindow, SW_SHOWNORMAL);

  CloseAndWait(app);
  EXPECT_EQ(reg::Read("percent"), "100");
  EXPECT_EQ(reg::Read("cual?"), "l");
  EXPECT_EQ(reg::Read("NormDir"), tools);
}

TEST(Settings, ASecondRunRestoresEveryOption) {
  StartOptions options;
  options.values = {{"Minimized", "yes"}, {"ratio", "-42"}, {"level", "7"},  {"percent", "33"},
                    {"size", "$100"},     {"xlevel", "5"},  {"MT", "yes"},   {"size?", "yes"},
                    {"level?", "yes"},    {"cual?", "m"}};
  App app(options);
  ASSERT_NE(app.Main(), nullptr);

  EXPECT_EQ(app.Text(IDC_SPINEDIT1), "-42");
  EXPECT_EQ(app.Text(IDC_SPINEDIT2), "7");
  EXPECT_EQ(app.Text(IDC_SPINEDIT3), "33");
  EXPECT_EQ(app.Text(IDC_SPINEDIT5), "256");
  EXPECT_EQ(app.Text(IDC_SPINEDIT4), "5");
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX2));
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX1));
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX3));
  EXPECT_FALSE(app.Checked(IDC_RADIOBUTTON1));
  EXPECT_TRUE(app.Checked(IDC_RADIOBUTTON3));
  // Ticking "MultiTasking!" enabled "Process" for a moment; creation disables it.
  EXPECT_FALSE(app.Enabled(IDC_BUTTON2));
  EXPECT_EQ(app.Dialog(), nullptr);

  app.SetText(IDC_SPINEDIT1, "500");  // typed, never left: saved as read
  CloseAndWait(app);
  Values expected = options.values;
  expected["NormDir"] = StandInDir();
  expected["ratio"] = "500";
  expected["size"] = "256";
  EXPECT_EQ(reg::ReadAll(), expected);

  StartOptions next;
  next.registry = StartOptions::Registry::Keep;
  App again(next);
  ASSERT_NE(again.Main(), nullptr);
  EXPECT_EQ(again.Text(IDC_SPINEDIT1), "100");
}

TEST(Settings, ABadStoredValueIsShownAtStartUpWhileTheRestLoads) {
  reg::DeleteSettings();
  reg::Write("NormDir", StandInDir());
  const Values stored = {{"ratio", std::string(100000, '9')}, {"level", "abc"}, {"percent", "33"}, {"size", "64 "}, {"cual?", "a"}};
  for (const auto& [name, value] : stored) reg::Write(name, value);
  reg::WriteRaw("xlevel", REG_DWORD, std::string("\x03\0\0\0", 4));
  StartOptions options;
  options.registry = StartOptions::Registry::Keep;
  options.waitForMainWindow = false;
  App app(options);

  // A huge value is quoted short, so the box shows at once and has text.
  const std::string huge = "'" + std::string(60, '9') + "...' is not a valid integer value.";
  const std::string messages[] = {huge, "'abc' is not a valid integer value.", "'64 ' is not a valid integer value.",
                            "Invalid data type for 'xlevel'"};  // no full stop after a quote
  HWND previous = nullptr;
  for (const std::string& message : messages) {
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      box = app.Dialog();
      return box && box != previous && IsWindow(box);
    })) << "no message box for " << message;
    EXPECT_EQ(MessageBoxText(box), message);
    OkDialog(box);
    previous = box;
  }

  ASSERT_NE(app.WaitForMain(), nullptr);
  EXPECT_EQ(app.Text(IDC_SPINEDIT1), "0");
  EXPECT_EQ(app.Text(IDC_SPINEDIT2), "0");
  EXPECT_EQ(app.Text(IDC_SPINEDIT3), "33");
  EXPECT_EQ(app.Text(IDC_SPINEDIT5), "64");
  EXPECT_TRUE(app.Checked(IDC_RADIOBUTTON2));
  EXPECT_FALSE(app.Enabled(IDC_BUTTON2));
  EXPECT_EQ(reg::Read("MT"), "no") << "later missing values still get their defaults";

  // The size lock still happened.
  SetWindowPos(app.Main(), nullptr, 0, 0, 900, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT frame = WindowRect(app.Main());
  EXPECT_EQ(frame.right - frame.left, 648);
  EXPECT_EQ(frame.bottom - frame.top, 273);
}

TEST(Settings, RemoveSettingsEndsTheProgramAndTheNextStartIsAFirstRun) {
  StartOptions options;
  options.values = {{"ratio", "5"}};
  App app(options);
  ASSERT_NE(app.Main(), nullptr);
  app.Menu(IDM_REMOVEREGSETTINGS1);
  ASSERT_TRUE(app.WaitForExit());
  EXPECT_FALSE(reg::SettingsKeyExists()) << "the close after removal writes nothing";
  EXPECT_FALSE(reg::VendorKeyExists());

  StartOptions next;
  next.registry = StartOptions::Registry::Keep;
  next.waitForMainWindow = false;
  App again(next);
  HWND browser = WaitForBrowser(again);
  ASSERT_NE(browser, nullptr);
  ChooseInBrowser(browser, StandInDir());
  ASSERT_NE(again.WaitForMain(), nullptr);
  EXPECT_EQ(reg::Read("NormDir"), StandInDir());
}

TEST(Settings, RunMinimizedIsRememberedAndAppliedToTheNextLaunch) {
  const std::string input = ScratchDir("in") + "min.wav";
  WriteFile(input);
  {
    App app;
    ASSERT_NE(app.Main(), nullptr);
    app.Menu(IDM_RUNMINIMIZED1);
    EXPECT_TRUE(WaitUntil([] { return reg::Read("Minimized") == "yes"; })) << "written at the toggle";
    app.Terminate();  // no close: the toggle alone stored it
  }
  StartOptions next;
  next.registry = StartOptions::Registry::Keep;
  App app(next);
  ASSERT_NE(app.Main(), nullptr);
  StartToolWith(app, input);
  const auto launches = WaitForLaunches(1);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].showWindow, SW_SHOWMINIMIZED);

  // The check mark was restored: toggling it now unchecks it.
  app.Menu(IDM_RUNMINIMIZED1);
  EXPECT_TRUE(WaitUntil([] { return reg::Read("Minimized") == "no"; }));
}

// The new folder's name, in Japanese, takes far more than 260 bytes.
TEST(Settings, ChoosingTheFolderAgainStoresItAndUsesItAtOnce) {
  std::string name = "fresh tools ";
  for (int i = 0; i < 70; ++i) name += "道";
  const std::string fresh = ToolFolder(name);
  ASSERT_GT(fresh.size(), 300u);
  const std::string input = ScratchDir("in") + "again.wav";
  WriteFile(input);
  App app;
  ASSERT_NE(app.Main(), nullptr);

  app.Menu(IDM_RESELECTNORMALIZEDIRECTORY1);
  HWND browser = WaitForBrowser(app);
  ASSERT_NE(browser, nullptr);
  CancelDialog(browser);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(reg::Read("NormDir"), StandInDir()) << "cancel writes nothing";

  app.Menu(IDM_RESELECTNORMALIZEDIRECTORY1);
  browser = WaitForBrowser(app, browser);
  ASSERT_NE(browser, nullptr);
  ChooseInBrowser(browser, fresh);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(reg::Read("NormDir"), fresh);

  StartToolWith(app, input);
  const auto launches = WaitForLaunches(1, fresh);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].currentDir + "\\", fresh);
}

// A close request from outside while the folder browser is open ends the
// browser as a cancel, whatever is highlighted in it, and closes the program
// the normal way: at the first run without a tool folder (asked for again at
// the next start), at "ReSelectNormalize&Directory" with the options saved.
TEST(Settings, ACloseRequestDuringTheFolderBrowserCancelsItAndCloses) {
  const std::string highlighted = ToolFolder("highlighted");
  {
    StartOptions options;
    options.registry = StartOptions::Registry::FirstRun;
    options.waitForMainWindow = false;
    App app(options);
    HWND browser = WaitForBrowser(app);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(SelectFolderInBrowser(browser, highlighted.substr(0, highlighted.size() - 1)));
    const auto appWindows = AllTopLevelWindows(app.Pid(), QUILBO_APP_CLASS);
    ASSERT_EQ(appWindows.size(), 1u);
    PostClose(appWindows.front());  // as the task bar's Close does
    EXPECT_TRUE(app.WaitForExit()) << "the program must end, not spin without a window";
    EXPECT_FALSE(reg::Read("NormDir").has_value());
  }
  {
    StartOptions next;
    next.registry = StartOptions::Registry::Keep;
    next.waitForMainWindow = false;
    App app(next);
    HWND browser = WaitForBrowser(app);
    ASSERT_NE(browser, nullptr) << "the next start asks again";
    const auto mainWindows = AllTopLevelWindows(app.Pid(), QUILBO_FORM1_CLASS);
    ASSERT_EQ(mainWindows.size(), 1u);
    PostClose(mainWindows.front());  // the hidden main window, from another program
    EXPECT_TRUE(app.WaitForExit());
    EXPECT_FALSE(reg::Read("NormDir").has_value());
  }
  {
    App app;
    ASSERT_NE(app.Main(), nullptr);
    app.Click(IDC_RADIOBUTTON3);
    ASSERT_TRUE(WaitUntil([&] { return app.Checked(IDC_RADIOBUTTON3); }));
    app.Menu(IDM_RESELECTNORMALIZEDIRECTORY1);
    HWND browser = WaitForBrowser(app);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(SelectFolderInBrowser(browser, highlighted.substr(0, highlighted.size() - 1)));
    PostClose(app.Main());
    EXPECT_TRUE(app.WaitForExit());
    EXPECT_EQ(reg::Read("NormDir"), StandInDir()) << "the highlighted folder was never confirmed";
    EXPECT_EQ(reg::Read("cual?"), "m") << "the close handler saved the options";
  }
}

TEST(Settings, TheEndOfTheSessionSavesSilently) {
  App app;
  ASSERT_NE(app.Main(), nullptr);
  app.SetText(IDC_SPINEDIT2, "-7");
  DWORD_PTR agreed = 0;
  ASSERT_TRUE(SendMessageTimeoutA(app.Main(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 5000, &agreed));
  EXPECT_TRUE(agreed);
  DWORD_PTR ignored = 0;
  ASSERT_TRUE(SendMessageTimeoutA(app.Main(), WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 5000, &ignored));
  EXPECT_EQ(reg::Read("level"), "-7");
  EXPECT_EQ(app.Dialog(), nullptr);
}

// A settings key that may be read but not written: said once at the start;
// nothing is read, asked or stored, and a folder chosen again serves this run.
TEST(Settings, WithoutWriteAccessItIsSaidOnceAndTheChosenFolderServesTheRun) {
  StartOptions options;
  options.registry = StartOptions::Registry::Denied;
  options.waitForMainWindow = false;
  App app(options);
  EXPECT_EQ(app.NextMessage(),
            "The settings cannot be stored in the registry key HKEY_LOCAL_MACHINE\\software\\Quilbo\\Brackenhollow: "
            "it can be read but not written. Changes made in this run last until the program ends.");
  ASSERT_NE(app.WaitForMain(), nullptr);
  EXPECT_EQ(app.Text(IDC_SPINEDIT3), "100");
  EXPECT_TRUE(app.Checked(IDC_RADIOBUTTON1));

  const std::string tools = ToolFolder("chosen tools");
  app.Menu(IDM_RESELECTNORMALIZEDIRECTORY1);
  ChooseInBrowser(WaitForBrowser(app), tools);
  ASSERT_TRUE(app.WaitForNoDialog());
  StartToolWith(app, ScratchDir() + "in.wav");
  EXPECT_EQ(WaitForLaunches(1, tools).size(), 1u);

  app.Menu(IDM_RUNMINIMIZED1);
  CloseAndWait(app);  // no second message on the way
  EXPECT_TRUE(reg::ReadAll().empty());
}
