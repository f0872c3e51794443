// The main window as laid out, and the live parameter string in Edit2.
#include "harness/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace e2e;

namespace {

constexpr const char* kTitle = "Quilbo-FE (4Normalize by Orvandel)";
constexpr int kWidth = 648, kHeight = 273;

enum class Kind { Radio, Check, Push, Picture, Group, Edit, Numeric, Status };

struct ControlRow {
  const char* name;
  int id;
  Kind kind;
  const char* text;  // caption or initial text (Edit2: checked by the composition test)
  RECT bounds;       // left, top, right, bottom in the client area
  bool enabled;
  bool checked;
};

const ControlRow kControls[] = {
    {"GroupBox1", IDC_GROUPBOX1, Kind::Group, "Amplification Options", {6, 1, 227, 96}, true, false},
    {"GroupBox2", IDC_GROUPBOX2, Kind::Group, "Misc. Options", {243, 1, 407, 96}, true, false},
    {"GroupBox3", IDC_GROUPBOX3, Kind::Group, "Input/Output", {6, 103, 635, 204}, true, false},
    {"RadioButton1", IDC_RADIOBUTTON1, Kind::Radio, "-l <Ratio>", {18, 18, 83, 35}, true, true},
    {"RadioButton2", IDC_RADIOBUTTON2, Kind::Radio, "-a <level>", {18, 43, 83, 60}, true, false},
    {"RadioButton3", IDC_RADIOBUTTON3, Kind::Radio, "-m <percent>", {18, 68, 99, 85}, true, false},
    {"SpinEdit1", IDC_SPINEDIT1, Kind::Numeric, "0", {171, 15, 216, 37}, true, false},
    {"SpinEdit2", IDC_SPINEDIT2, Kind::Numeric, "0", {171, 40, 216, 62}, true, false},
    {"SpinEdit3", IDC_SPINEDIT3, Kind::Numeric, "100", {171, 65, 216, 87}, true, false},
    {"CheckBox1", IDC_CHECKBOX1, Kind::Check, "-b <size>", {256, 17, 318, 34}, true, false},
    {"SpinEdit4", IDC_SPINEDIT4, Kind::Numeric, "0", {347, 42, 392, 64}, true, false},
    {"CheckBox2", IDC_CHECKBOX2, Kind::Check, "MultiTasking!", {257, 73, 393, 90}, false, false},
    {"CheckBox3", IDC_CHECKBOX3, Kind::Check, "-x <level>", {256, 44, 321, 61}, true, false},
    {"SpinEdit5", IDC_SPINEDIT5, Kind::Numeric, "64", {337, 14, 392, 36}, true, false},
    {"Edit1", IDC_EDIT1, Kind::Edit, "Select Output File!", {78, 146, 548, 167}, true, false},
    {"BitBtn1", IDC_BITBTN1, Kind::Picture, "", {563, 144, 591, 169}, true, false},
    {"CheckBox4", IDC_CHECKBOX4, Kind::Check, "-o <file>", {16, 149, 74, 166}, true, false},
    {"Edit2", IDC_EDIT2, Kind::Edit, nullptr, {14, 174, 629, 195}, true, false},
    {"Button1", IDC_BUTTON1, Kind::Push, "Go!", {554, 0, 629, 25}, false, false},
    {"Edit3", IDC_EDIT3, Kind::Edit, "Select Input File!", {78, 117, 548, 138}, true, false},
    {"BitBtn2", IDC_BITBTN2, Kind::Picture, "", {563, 115, 591, 140}, true, false},
    {"Button2", IDC_BUTTON2, Kind::Push, "Process", {553, 36, 628, 61}, false, false},
    {"Button3", IDC_BUTTON3, Kind::Push, "Leave", {553, 71, 628, 96}, true, false},
    {"StatusBar1", IDC_STATUSBAR1, Kind::Status, "", {0, 207, 640, 227}, true, false},
};

bool KindMatches(HWND w, Kind kind) {
  const std::string cls = ClassName(w);
  const DWORD type = Style(w) & BS_TYPEMASK;
  switch (kind) {
    case Kind::Radio: return cls == "Button" && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON);
    case Kind::Check: return cls == "Button" && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX);
    case Kind::Push: return cls == "Button" && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
    case Kind::Picture:
      return cls == "Button" && (type == BS_OWNERDRAW || ((Style(w) & BS_BITMAP) && type <= BS_DEFPUSHBUTTON));
    case Kind::Group: return cls == "Button" && type == BS_GROUPBOX;
    case Kind::Edit: return cls == "Edit" && !(Style(w) & ES_MULTILINE);
    case Kind::Numeric: {
      bool arrows = false;
      for (HWND c : Children(w)) arrows |= ClassName(c) == QUILBO_RANGE_FIELD_BUTTONS_CLASS;
      return cls == "Edit" && arrows;
    }
    case Kind::Status: return cls == QUILBO_STATUS_BAR_CLASS;
  }
  return false;
}

// The small icon at the left of the caption, read from the screen: another
// process's class icon cannot be read under Wine. A plain caption has one or
// two colours there.
bool IconDrawn(HWND w) {
  const RECT r = WindowRect(w);
  const int x0 = r.left + GetSystemMetrics(SM_CXFRAME), y0 = r.top + GetSystemMetrics(SM_CYFRAME);
  HDC screen = GetDC(nullptr);
  std::vector<COLORREF> colours;
  for (int y = y0; y < y0 + GetSystemMetrics(SM_CYCAPTION) - 2; ++y) {
    for (int x = x0; x < x0 + GetSystemMetrics(SM_CXSMICON) + 2; ++x) {
      const COLORREF c = GetPixel(screen, x, y);
      if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
    }
  }
  ReleaseDC(nullptr, screen);
  return colours.size() >= 4;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

}  // namespace

// Title, frame, place on the screen, every control as laid out, the application
// window with the task-bar button.
TEST(Spine, WindowAndControlsAsLaidOut) {
  App app;
  HWND main = app.Main();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Text(main), kTitle);
  const RECT outer = WindowRect(main);
  EXPECT_EQ(Describe(outer), Describe({(GetSystemMetrics(SM_CXVIRTUALSCREEN) - kWidth) / 2,
                                       (GetSystemMetrics(SM_CYVIRTUALSCREEN) - kHeight) / 2,
                                       (GetSystemMetrics(SM_CXVIRTUALSCREEN) - kWidth) / 2 + kWidth,
                                       (GetSystemMetrics(SM_CYVIRTUALSCREEN) - kHeight) / 2 + kHeight}));
  const DWORD style = Style(main);
  EXPECT_TRUE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & (WS_HSCROLL | WS_VSCROLL));
  EXPECT_NE(GetMenu(main), nullptr);
  EXPECT_TRUE(IconDrawn(main)) << "no icon at the left of the caption";

  for (const auto& row : kControls) {
    SCOPED_TRACE("control " + std::to_string(row.id));
    HWND w = app.Control(row.id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(KindMatches(w, row.kind)) << ClassName(w) << " style " << std::hex << Style(w);
    EXPECT_EQ(Describe(RectInParent(w)), Describe(row.bounds));
    if (row.text) {
      EXPECT_EQ(Text(w), row.text);
    }
    EXPECT_EQ(IsEnabled(w), row.enabled);
    EXPECT_TRUE(IsVisible(w));
    if (row.kind == Kind::Radio || row.kind == Kind::Check) {
      EXPECT_EQ(IsChecked(w), row.checked);
    }
  }

  // The application window: zero size, the program's title and icon.
  const auto apps = TopLevelWindows(app.Pid(), QUILBO_APP_CLASS);
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(Text(apps[0]), "Quilbo");
  const RECT appRect = WindowRect(apps[0]);
  EXPECT_EQ(appRect.right - appRect.left, 0);
  EXPECT_EQ(appRect.bottom - appRect.top, 0);
  EXPECT_EQ(GetWindow(main, GW_OWNER), apps[0]) << "the task-bar button belongs to the application window";
}

// Dragging the border and maximising are both forced back to 648 x 273; a drag
// of the caption still moves the window (so the drags do reach it).
TEST(Spine, SizeIsLocked) {
  App app;
  HWND main = app.Main();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Focus(main));
  auto size = [&] {
    const RECT r = WindowRect(main);
    return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
  };
  const RECT before = WindowRect(main);

  // Right border, then bottom-right corner, dragged outwards and inwards.
  const POINT grips[] = {{before.right - 2, (before.top + before.bottom) / 2},
                         {before.right - 2, before.bottom - 2}};
  for (POINT grip : grips) {
    for (int delta : {80, -120}) {
      MouseDrag(grip, {grip.x + delta, grip.y + delta});
      EXPECT_EQ(size(), "648x273") << "after dragging the border by " << delta;
    }
  }

  // The status bar's size grip is a corner of the border: the pointer there is
  // the one at the frame's corner (a pointer handle is only comparable within
  // the program's own process), and not the one over the rest of the bar.
  auto pointer = [] {
    CURSORINFO info{sizeof info, 0, nullptr, {}};
    return GetCursorInfo(&info) ? info.hCursor : nullptr;
  };
  auto pointerAt = [](POINT p) {
    CURSORINFO info{sizeof info, 0, nullptr, {}};
    return GetCursorInfo(&info) && std::abs(info.ptScreenPos.x - p.x) <= 1 && std::abs(info.ptScreenPos.y - p.y) <= 1;
  };
  const RECT bar = WindowRect(app.Control(IDC_STATUSBAR1));
  const POINT barMiddle{bar.left + 20, bar.top + 10};
  const POINT barGrip{bar.right - 3, bar.bottom - 3};
  MouseMove(barMiddle);
  ASSERT_TRUE(WaitUntil([&] { return pointerAt(barMiddle); }));
  const HCURSOR overBar = pointer();
  MouseMove({before.right - 2, before.bottom - 2});
  ASSERT_TRUE(WaitUntil([&] { return pointer() != overBar; }, Ms(1000))) << "no sizing pointer at the corner";
  const HCURSOR sizing = pointer();
  MouseMove(barMiddle);
  ASSERT_TRUE(WaitUntil([&] { return pointer() == overBar; }, Ms(1000)));
  MouseMove(barGrip);
  EXPECT_TRUE(WaitUntil([&] { return pointer() == sizing; }, Ms(1000))) << "no sizing pointer over the grip";
  MouseDrag(barGrip, {barGrip.x + 60, barGrip.y + 60});
  EXPECT_EQ(size(), "648x273") << "after dragging the status bar's grip";

  const POINT caption{(before.left + before.right) / 2, before.top + GetSystemMetrics(SM_CYFRAME) + 5};
  MouseDrag(caption, {caption.x - 40, caption.y + 20});
  EXPECT_TRUE(WaitUntil([&] { return WindowRect(main).left <= before.left - 30; }))
      << "the caption drag did not move the window: the border drags above prove nothing";

  PostMessageA(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(WaitUntil([&] { return IsZoomed(main) != FALSE; }));
  EXPECT_TRUE(Stays([&] { return size() == "648x273"; }, Ms(300))) << "after maximising: " << size();
}

// Started maximised (a shortcut set to "Maximized"), the window restores to
// the desktop's centre; minimised and restored later, it stays where it was.
TEST(Spine, AMaximisedStartRestoresToTheCentreAndLaterShowingsKeepThePlace) {
  StartOptions options;
  options.showCommand = SW_SHOWMAXIMIZED;
  App app(options);
  HWND main = app.Main();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return IsZoomed(main) != FALSE; }));
  PostMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsZoomed(main) == FALSE; }));
  const POINT centre{(GetSystemMetrics(SM_CXVIRTUALSCREEN) - kWidth) / 2,
                     (GetSystemMetrics(SM_CYVIRTUALSCREEN) - kHeight) / 2};
  EXPECT_EQ(Describe(WindowRect(main)), Describe({centre.x, centre.y, centre.x + kWidth, centre.y + kHeight}));

  SetWindowPos(main, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(WaitUntil([&] { return WindowRect(main).left == 30; }));
  PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsVisible(main); }));
  PostMessageA(GetWindow(main, GW_OWNER), WM_SYSCOMMAND, SC_RESTORE, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsVisible(main); }));
  EXPECT_EQ(Describe(WindowRect(main)), Describe({30, 40, 30 + kWidth, 40 + kHeight}));
}

// Tab walks the tab stops in their order, skipping the disabled buttons and
// the unselected radio buttons.
TEST(Spine, TabOrder) {
  App app;
  ASSERT_NE(app.Main(), nullptr);
  const int expected[] = {IDC_SPINEDIT1, IDC_SPINEDIT2, IDC_SPINEDIT3, IDC_CHECKBOX1, IDC_SPINEDIT4,
                          IDC_CHECKBOX3, IDC_SPINEDIT5, IDC_EDIT1,     IDC_BITBTN1,   IDC_CHECKBOX4,
                          IDC_EDIT2,     IDC_EDIT3,     IDC_BITBTN2,   IDC_BUTTON3,   IDC_RADIOBUTTON1};
  ASSERT_TRUE(Focus(app.Control(IDC_RADIOBUTTON1)));
  for (int id : expected) {
    KeyPress(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(app.Main()) == app.Control(id); }, Ms(1000)))
        << "expected control " << id << ", focus is on " << GetDlgCtrlID(FocusedWindow(app.Main()));
  }
  // Selecting another radio button makes it the group's tab stop.
  app.Click(IDC_RADIOBUTTON3);
  ASSERT_TRUE(WaitUntil([&] { return app.Checked(IDC_RADIOBUTTON3); }));
  ASSERT_TRUE(Focus(app.Control(IDC_BUTTON3)));
  KeyPress(VK_TAB);
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(app.Main()) == app.Control(IDC_RADIOBUTTON3); }, Ms(1000)));
  EXPECT_TRUE(Style(app.Control(IDC_RADIOBUTTON3)) & WS_TABSTOP);
  EXPECT_FALSE(Style(app.Control(IDC_RADIOBUTTON1)) & WS_TABSTOP);
}

// Edit2 shows the composition of the controls' state after each batch of input.
TEST(Spine, CommandLineFollowsTheControls) {
  App app;
  ASSERT_NE(app.Main(), nullptr);
  const std::string placeholder = " \"Select Input File!\"";
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + placeholder), "-l 0" + placeholder);

  app.Click(IDC_RADIOBUTTON2);
  app.Click(IDC_CHECKBOX1);
  EXPECT_EQ(app.WaitForCommandLine("-a 0 -b 64" + placeholder), "-a 0 -b 64" + placeholder);
  EXPECT_FALSE(app.Checked(IDC_RADIOBUTTON1));
  EXPECT_TRUE(app.Checked(IDC_RADIOBUTTON2));
  EXPECT_FALSE(app.Checked(IDC_RADIOBUTTON3));

  // Emptied numeric fields compose their minimum; out-of-range text is composed
  // as it stands; a path is composed verbatim, spaces and quotes included.
  app.SetText(IDC_SPINEDIT2, "");
  app.SetText(IDC_SPINEDIT5, "");
  EXPECT_EQ(app.WaitForCommandLine("-a -30 -b 16" + placeholder), "-a -30 -b 16" + placeholder);
  app.SetText(IDC_SPINEDIT2, "-6");
  app.SetText(IDC_SPINEDIT5, "64");
  app.Click(IDC_CHECKBOX1);
  EXPECT_EQ(app.WaitForCommandLine("-a -6" + placeholder), "-a -6" + placeholder);

  app.SetText(IDC_SPINEDIT4, "3");
  app.Click(IDC_RADIOBUTTON3);
  app.Click(IDC_CHECKBOX1);
  app.Click(IDC_CHECKBOX3);
  EXPECT_EQ(app.WaitForCommandLine("-m 100 -b 64 -x 3" + placeholder), "-m 100 -b 64 -x 3" + placeholder);

  app.SetText(IDC_SPINEDIT1, "250");
  app.SetText(IDC_EDIT3, "C:\\my \"files\"\\a  b.wav");
  app.Click(IDC_RADIOBUTTON1);
  app.Click(IDC_CHECKBOX1);
  app.Click(IDC_CHECKBOX3);
  EXPECT_EQ(app.WaitForCommandLine("-l 250 \"C:\\my \"files\"\\a  b.wav\""), "-l 250 \"C:\\my \"files\"\\a  b.wav\"");
  app.SetText(IDC_SPINEDIT1, "");
  EXPECT_EQ(app.WaitForCommandLine("-l -100 \"C:\\my \"files\"\\a  b.wav\""),
            "-l -100 \"C:\\my \"files\"\\a  b.wav\"");
  app.SetText(IDC_SPINEDIT1, "0");
  app.SetText(IDC_EDIT3, "Select Input File!");
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + placeholder), "-l 0" + placeholder);

  // Typed text does not stay; typing into the input field does. The keys do
  // arrive in Edit2: the recomposition that takes them out again sets the
  // text, which puts the caret back at the start, where End had put it at the end.
  HWND edit2 = app.Control(IDC_EDIT2);
  auto caret = [&] { return LOWORD(static_cast<DWORD>(SendMessageA(edit2, EM_GETSEL, 0, 0))); };
  const auto end = static_cast<WORD>(("-l 0" + placeholder).size());
  ASSERT_TRUE(Focus(edit2));
  KeyPress(VK_END);
  ASSERT_TRUE(WaitUntil([&] { return caret() == end; })) << caret();
  TypeText("zz");
  EXPECT_TRUE(WaitUntil([&] { return caret() == 0; })) << "the typed keys never changed Edit2";
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + placeholder), "-l 0" + placeholder);
  ASSERT_TRUE(Focus(app.Control(IDC_EDIT3)));
  KeyPress(VK_END);
  TypeText("zz");
  EXPECT_EQ(app.WaitForCommandLine("-l 0 \"Select Input File!zz\""), "-l 0 \"Select Input File!zz\"");

  // An unchanged string is not set again: a selection in Edit2 survives idle
  // passes (mouse moves over the window cause them).
  SendMessageA(edit2, EM_SETSEL, 2, 5);
  for (int i = 0; i < 5; ++i) MouseMove({Centre(app.Main()).x + i * 7, Centre(app.Main()).y});
  const auto selection = static_cast<DWORD>(SendMessageA(edit2, EM_GETSEL, 0, 0));
  EXPECT_EQ(LOWORD(selection), 2);
  EXPECT_EQ(HIWORD(selection), 5);
}

// With the window idle and the mouse still, the program uses no CPU: it blocks
// between messages instead of polling. The enable notification recomposes.
TEST(Spine, IdleWindowDoesNoWork) {
  App app;
  ASSERT_NE(app.Main(), nullptr);
  ASSERT_EQ(app.WaitForCommandLine("-l 0 \"Select Input File!\""), "-l 0 \"Select Input File!\"");
  MouseMove({2, 2});  // off the window
  // Start-up's leftovers done: a second and a half without CPU time (a loaded
  // machine only makes this take longer). A program that polled would never
  // get there. The CPU time over many seconds is a figure of bench/run-frontend-bench.
  Ms last = app.CpuTime();
  EXPECT_TRUE(WaitUntil([&] {
    const Ms now = app.CpuTime();
    const bool quiet = Stays([&] { return app.CpuTime() == now; }, Ms(1500));
    last = app.CpuTime();
    return quiet;
  }, Ms(20000))) << "CPU time still growing: " << last.count() << " ms";

  // Each enable notification recomposes at once. The system's own modal loop
  // for moving a window by keyboard holds off the program's idle passes, so a
  // stale text in Edit2 stays until a notification arrives.
  const std::string composed = app.CommandLine();
  HWND edit2 = app.Control(IDC_EDIT2);
  PostMessageA(app.Main(), WM_SYSCOMMAND, SC_MOVE, 0);
  ASSERT_TRUE(WaitUntil([&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(app.Main(), nullptr), &info) && (info.flags & GUI_INMOVESIZE);
  })) << "the move loop did not start";
  SetText(edit2, "stale");
  ASSERT_TRUE(Stays([&] { return app.CommandLine() == "stale"; }, Ms(300)))
      << "the move loop did not hold off the idle passes";
  for (BOOL enabled : {FALSE, TRUE}) {
    SetText(edit2, "stale");
    SendMessageA(app.Main(), WM_ENABLE, enabled, 0);
    EXPECT_EQ(app.CommandLine(), composed) << "after WM_ENABLE " << enabled;
  }
  PostKey(app.Main(), VK_ESCAPE);
  EXPECT_EQ(app.WaitForCommandLine(composed), composed);
}

// Resting the mouse on a control shows the short part of its hint, moving on
// to another control while it shows brings that one's, and the tip hides again
// after a while, when the mouse leaves the window or at a click, to come back
// only after the mouse has left the control. A disabled control has its tip.
// (The delays are the system's; a loaded machine can only lengthen them.)
TEST(Spine, TooltipShowsTheShortHint) {
  App app;
  ASSERT_NE(app.Main(), nullptr);
  ASSERT_TRUE(Focus(app.Main()));
  HWND tip = nullptr;
  auto tipShown = [&] { return (tip = VisibleTooltip(app.Pid())) != nullptr; };

  const POINT rest = Centre(app.Control(IDC_CHECKBOX1));
  MouseMove(rest);
  ASSERT_TRUE(WaitUntil(tipShown));
  EXPECT_EQ(Text(tip), "Buffer Size");
  const RECT shown = WindowRect(tip);
  EXPECT_GT(shown.top, rest.y) << "not below the pointer";
  EXPECT_LE(shown.top, rest.y + 28) << "far below the pointer";
  EXPECT_NEAR(shown.left, rest.x, 2);

  MouseMove(Centre(app.Control(IDC_CHECKBOX2)));
  EXPECT_TRUE(WaitUntil([&] { return tipShown() && Text(tip) == "Process"; }));
  EXPECT_TRUE(WaitUntil([&] { return !tipShown(); }, Ms(10000))) << "never hidden";

  MouseMove(Centre(app.Control(IDC_RADIOBUTTON2)));
  EXPECT_TRUE(WaitUntil(tipShown));
  EXPECT_EQ(Text(tip), "Level");

  // Leaving the window takes the tip away; a click on a control too.
  const RECT window = WindowRect(app.Main());
  MouseMove({window.right + 30, window.bottom + 30});
  EXPECT_TRUE(WaitUntil([&] { return !tipShown(); }, Ms(1000))) << "kept after leaving the window";
  MouseMove(Centre(app.Control(IDC_RADIOBUTTON3)));
  EXPECT_TRUE(WaitUntil([&] { return tipShown() && Text(tip) == "Percent"; }));
  MouseDown();
  MouseUp();
  EXPECT_TRUE(WaitUntil([&] { return !tipShown(); }, Ms(1000))) << "kept after a click";
  // It comes back only once the mouse has left the control.
  const POINT percent = Centre(app.Control(IDC_RADIOBUTTON3));
  MouseMove({percent.x + 4, percent.y});
  EXPECT_TRUE(Stays([&] { return !tipShown(); }, Ms(1200))) << "back on the same control";
  MouseMove(Centre(app.Control(IDC_CHECKBOX3)));
  EXPECT_TRUE(WaitUntil([&] { return tipShown() && Text(tip) == "Level"; })) << "none for the next control";
}
