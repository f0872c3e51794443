// The main window's behaviour: the two pickers through the real file dialog,
// the output box rule, the enabling rules of "Go!", "Process" and
// "MultiTasking!", closing, and the keyboard.

#include "harness/harness.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

const std::string kInput = " \"Select Input File!\"";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Where the dialog must stand: centred across the main window's monitor, one
// third down, on the monitor's full area.
POINT ExpectedDialogPosition(HWND main, HWND dialog) {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  GetMonitorInfoA(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &mi);
  const RECT r = WindowRect(dialog);
  const LONG w = r.right - r.left, h = r.bottom - r.top;
  return {mi.rcMonitor.left + (mi.rcMonitor.right - mi.rcMonitor.left - w) / 2,
          mi.rcMonitor.top + (mi.rcMonitor.bottom - mi.rcMonitor.top - h) / 3};
}

bool DialogAt(HWND dialog, POINT p) {
  const RECT r = WindowRect(dialog);
  return r.left == p.x && r.top == p.y;
}

}  // namespace

// Both pickers share one dialog: cancel changes nothing, OK puts the path into
// its field, the next use opens on the last file chosen and on the last filter,
// and the dialog stands centred, one third down.
TEST(Behaviour, PickersThroughTheFileDialog) {
  const std::string dir = ScratchDir("wave files");
  const std::string in = dir + "in put.wav", out = dir + "out.wav";
  WriteFile(in);
  App app;
  ASSERT_NE(app.Main(), nullptr);

  ASSERT_TRUE(app.CancelPicker(IDC_BITBTN2));
  EXPECT_EQ(app.Text(IDC_EDIT3), "Select Input File!");
  EXPECT_FALSE(app.Enabled(IDC_BUTTON1));
  EXPECT_FALSE(app.Enabled(IDC_CHECKBOX2));

  // Input picker: the first use has no file name and the first filter.
  app.Click(IDC_BITBTN2);
  HWND dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(app.Main()); })) << "the main window is disabled meanwhile";
  EXPECT_EQ(FileDialogFileName(dialog), "");
  EXPECT_EQ(FileDialogFilter(dialog), "Wave Files!");
  EXPECT_TRUE(WaitUntil([&] { return DialogAt(dialog, ExpectedDialogPosition(app.Main(), dialog)); }))
      << "dialog at " << WindowRect(dialog).left << "," << WindowRect(dialog).top;
  ChooseFileInDialog(dialog, in);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(app.WaitForText(IDC_EDIT3, in), in);
  EXPECT_EQ(app.WaitForCommandLine("-l 0 " + Quoted(in)), "-l 0 " + Quoted(in));
  EXPECT_TRUE(app.Enabled(IDC_BUTTON1));
  EXPECT_TRUE(app.Enabled(IDC_CHECKBOX2));
  EXPECT_FALSE(app.Checked(IDC_CHECKBOX2));
  EXPECT_FALSE(app.Enabled(IDC_BUTTON2));
  EXPECT_TRUE(IsEnabled(app.Main()));

  // Output picker: opens on the input file; choose "The Rest!" and a new name.
  app.Click(IDC_BITBTN1);
  dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  const std::string shown = FileDialogFileName(dialog);
  EXPECT_TRUE(shown == in || shown == BaseName(in)) << shown;
  SelectFilterInDialog(dialog, 1);
  EXPECT_EQ(FileDialogFilter(dialog), "The Rest!");
  EXPECT_TRUE(WaitUntil([&] { return DialogAt(dialog, ExpectedDialogPosition(app.Main(), dialog)); }));
  ChooseFileInDialog(dialog, out);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(app.WaitForText(IDC_EDIT1, out), out);
  EXPECT_EQ(app.Text(IDC_EDIT3), in);
  EXPECT_EQ(app.WaitForCommandLine("-l 0 " + Quoted(in)), "-l 0 " + Quoted(in)) << "-o is not ticked";

  // Cancelled output picker: nothing changes, nothing is remembered.
  app.Click(IDC_BITBTN1);
  dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  EXPECT_EQ(FileDialogFilter(dialog), "The Rest!");
  SetText(Child(dialog, 1148), dir + "never.wav");
  CancelDialog(dialog);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(app.Text(IDC_EDIT1), out);

  // The input picker now opens on the output file.
  app.Click(IDC_BITBTN2);
  dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  const std::string again = FileDialogFileName(dialog);
  EXPECT_TRUE(again == out || again == BaseName(out)) << again;
  CancelDialog(dialog);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(app.Text(IDC_EDIT3), in);
}

// Ticking "-o <file>" over the placeholder opens the output picker at once;
// a cancel leaves the box ticked with the placeholder composed; over a chosen
// file, or when unticking, nothing opens.
TEST(Behaviour, OutputBoxOpensThePickerOverThePlaceholder) {
  const std::string out = ScratchDir() + "out.wav";
  App app;
  ASSERT_NE(app.Main(), nullptr);

  app.Click(IDC_CHECKBOX4);
  HWND dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  CancelDialog(dialog);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX4));
  EXPECT_EQ(app.WaitForCommandLine("-l 0 -o \"Select Output File!\"" + kInput),
            "-l 0 -o \"Select Output File!\"" + kInput);

  app.Click(IDC_CHECKBOX4);  // untick: nothing opens
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + kInput), "-l 0" + kInput);
  EXPECT_EQ(app.Dialog(), nullptr);

  app.Click(IDC_CHECKBOX4);  // the placeholder is still there: the picker again
  dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  ChooseFileInDialog(dialog, out);
  ASSERT_TRUE(app.WaitForNoDialog());
  EXPECT_EQ(app.WaitForText(IDC_EDIT1, out), out);
  EXPECT_EQ(app.WaitForCommandLine("-l 0 -o " + Quoted(out) + kInput), "-l 0 -o " + Quoted(out) + kInput);
  EXPECT_FALSE(app.Enabled(IDC_BUTTON1)) << "an output file enables nothing";

  app.Click(IDC_CHECKBOX4);
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + kInput), "-l 0" + kInput);
  app.Click(IDC_CHECKBOX4);  // a file is chosen: ticking opens nothing
  EXPECT_EQ(app.WaitForCommandLine("-l 0 -o " + Quoted(out) + kInput), "-l 0 -o " + Quoted(out) + kInput);
  EXPECT_TRUE(Stays([&] { return app.Dialog() == nullptr; }, Ms(300)));
}

// The enabling rules as a whole, with the starts they allow: with
// "MultiTasking!" ticked "Go!" starts nothing and "Process" starts once, with
// the string shown at that moment; "Go!" needs a new input file after a start.
TEST(Behaviour, EnablingRulesAndStarts) {
  const std::string in = ScratchDir() + "in.wav";
  WriteFile(in);
  App app;
  ASSERT_NE(app.Main(), nullptr);
  auto state = [&] {
    return std::string(app.Enabled(IDC_BUTTON1) ? "Go " : "go ") + (app.Enabled(IDC_BUTTON2) ? "Process " : "process ") +
           (app.Enabled(IDC_CHECKBOX2) ? "MT" : "mt") + (app.Checked(IDC_CHECKBOX2) ? "+" : "-");
  };
  EXPECT_EQ(state(), "go process mt-");

  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  EXPECT_TRUE(WaitUntil([&] { return state() == "Go process MT-"; })) << state();

  app.Click(IDC_CHECKBOX2);
  EXPECT_TRUE(WaitUntil([&] { return state() == "Go Process MT+"; })) << state();
  app.Click(IDC_CHECKBOX2);
  EXPECT_TRUE(WaitUntil([&] { return state() == "Go process MT-"; })) << state();
  app.Click(IDC_CHECKBOX2);
  EXPECT_TRUE(WaitUntil([&] { return state() == "Go Process MT+"; })) << state();

  app.Click(IDC_BUTTON1);  // Go! with MultiTasking! ticked: no start
  EXPECT_TRUE(WaitUntil([&] { return state() == "go Process MT+"; })) << state();
  EXPECT_TRUE(Stays([&] { return Launches().empty(); }, Ms(500)));

  app.Click(IDC_CHECKBOX1);
  app.SetText(IDC_SPINEDIT1, "3");  // a ratio of 0 is refused
  const std::string shown = app.WaitForCommandLine("-l 3 -b 64 " + Quoted(in));
  ASSERT_EQ(shown, "-l 3 -b 64 " + Quoted(in));
  app.Click(IDC_BUTTON2);
  EXPECT_TRUE(WaitUntil([&] { return state() == "go process MT-"; })) << state();
  WaitForLaunches(1);
  EXPECT_TRUE(Stays([&] { return Launches().size() == 1u; }, Ms(500))) << "started more than once";
  const auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "3", "-b", "64", in}));

  // A new input file enables Go! again (Process stays off: the box is unticked).
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  EXPECT_TRUE(WaitUntil([&] { return state() == "Go process MT-"; })) << state();
  app.Click(IDC_BUTTON1);
  EXPECT_TRUE(WaitUntil([&] { return state() == "go process MT-"; })) << state();
  EXPECT_EQ(WaitForLaunches(2).size(), 2u);

  // Clicks posted to the disabled buttons, as messages or as notifications,
  // start nothing.
  for (int i = 0; i < 8; ++i) {
    app.Click(IDC_BUTTON1);
    app.Click(IDC_BUTTON2);
    PostMessageA(app.Main(), WM_COMMAND, MAKEWPARAM(IDC_BUTTON1, BN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Control(IDC_BUTTON1)));
    PostMessageA(app.Main(), WM_COMMAND, MAKEWPARAM(IDC_BUTTON2, BN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Control(IDC_BUTTON2)));
  }
  EXPECT_TRUE(Stays([&] { return Launches().size() == 2 && state() == "go process MT-"; }, Ms(1000)))
      << Launches().size() << " launches, " << state();
}

// Enter on the focused "Go!" or "Process" starts the tool and disables the
// button; the focus moves on to the next tab stop first, so the keyboard
// still works.
TEST(Behaviour, TheKeyboardWorksOnAfterAStartByEnter) {
  const std::string in = ScratchDir() + "in.wav";
  WriteFile(in);
  App app;
  ASSERT_NE(app.Main(), nullptr);
  HWND main = app.Main();
  app.SetText(IDC_SPINEDIT1, "2");  // a ratio of 0 is refused
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));

  ASSERT_TRUE(Focus(app.Control(IDC_EDIT3)));
  KeyDown(VK_SHIFT);
  KeyPress(VK_TAB);
  KeyUp(VK_SHIFT);
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(main) == app.Control(IDC_BUTTON1); })) << "Go! has the focus";
  KeyPress(VK_RETURN);
  ASSERT_EQ(WaitForLaunches(1).size(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return !app.Enabled(IDC_BUTTON1); }));
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(main) == app.Control(IDC_EDIT3); }));
  KeyPress(VK_TAB);
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(main) == app.Control(IDC_BITBTN2); }))
      << "Tab works after the start";

  // "Process": ticked "MultiTasking!", a new input file, Tab from the picker.
  app.Click(IDC_CHECKBOX2);
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  ASSERT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON2); }));
  ASSERT_TRUE(Focus(app.Control(IDC_BITBTN2)));
  KeyPress(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(main) == app.Control(IDC_BUTTON2); })) << "Process has the focus";
  KeyPress(VK_RETURN);
  ASSERT_EQ(WaitForLaunches(2).size(), 2u);
  EXPECT_TRUE(WaitUntil([&] { return !app.Enabled(IDC_BUTTON2); }));
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(main) == app.Control(IDC_BUTTON3); }));
  KeyDown(VK_SHIFT);
  KeyPress(VK_TAB);
  KeyUp(VK_SHIFT);
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(main) == app.Control(IDC_BITBTN2); }))
      << "Shift+Tab works after the start";
}

// "MultiTasking!" ticked by the stored settings: "Process" is off at start and
// comes on with the first input file.
TEST(Behaviour, StoredMultiTaskingEnablesProcessWithTheFirstInput) {
  const std::string in = ScratchDir() + "in.wav";
  WriteFile(in);
  StartOptions o;
  o.values = {{"MT", "yes"}};
  App app(o);
  ASSERT_NE(app.Main(), nullptr);
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX2));
  EXPECT_FALSE(app.Enabled(IDC_CHECKBOX2));
  EXPECT_FALSE(app.Enabled(IDC_BUTTON2));
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, in));
  EXPECT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON2) && app.Enabled(IDC_BUTTON1); }));
  EXPECT_TRUE(app.Checked(IDC_CHECKBOX2));
}

// Enter clicks only a focused push button; Enter in a field, Escape and a
// double click on the background do nothing.
TEST(Behaviour, EnterInAFieldEscapeAndABackgroundDoubleClickDoNothing) {
  App app;
  ASSERT_NE(app.Main(), nullptr);
  HWND main = app.Main();

  ASSERT_TRUE(Focus(app.Control(IDC_EDIT3)));
  KeyPress(VK_RETURN);
  KeyPress(VK_ESCAPE);
  const POINT origin = ClientOrigin(main);
  MouseDoubleClick({origin.x + 480, origin.y + 50});  // between "Misc. Options" and "Go!"
  EXPECT_TRUE(Stays([&] { return app.Running() && IsVisible(main) && app.Dialog() == nullptr; }, Ms(500)));
  EXPECT_EQ(app.Text(IDC_EDIT3), "Select Input File!");
  EXPECT_EQ(app.CommandLine(), "-l 0" + kInput);

  ASSERT_TRUE(Focus(app.Control(IDC_BITBTN2)));
  KeyPress(VK_RETURN);
  HWND dialog = app.WaitForDialog();
  ASSERT_TRUE(IsFileDialog(dialog)) << "Enter on the focused input picker";
  CancelDialog(dialog);
  ASSERT_TRUE(app.WaitForNoDialog());

  ASSERT_TRUE(Focus(app.Control(IDC_BUTTON3)));
  KeyPress(VK_RETURN);
  EXPECT_TRUE(app.WaitForExit()) << "Enter on the focused \"Leave\"";
}

// "Leave" and "&Exit!" close through the close handler, which saves the settings.
TEST(Behaviour, LeaveAndExitClose) {
  for (int command : {IDC_BUTTON3, IDM_EXIT1}) {
    SCOPED_TRACE(command == IDC_BUTTON3 ? "Leave" : "Exit!");
    App app;
    ASSERT_NE(app.Main(), nullptr);
    app.Click(IDC_RADIOBUTTON3);
    ASSERT_TRUE(WaitUntil([&] { return app.Checked(IDC_RADIOBUTTON3); }));
    if (command == IDC_BUTTON3) {
      app.Click(IDC_BUTTON3);
    } else {
      app.Menu(IDM_EXIT1);
    }
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_EQ(reg::Read("cual?"), "m") << "the close handler saved the mode";
  }
}
