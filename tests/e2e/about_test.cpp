// The About box: modal, placed, keyed and kept between showings.

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "harness/harness.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(line);
      line.clear();
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

TEST(About, ModalPlacedKeyedAndKept) {
  App app;
  HWND main = app.Main();
  ASSERT_NE(main, nullptr);
  const std::string placeholder = " \"Select Input File!\"";

  app.Menu(IDM_ABOUT1);
  HWND about = app.WaitForAbout();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(Text(about), "About Box!");
  EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(main); })) << "modal: the main window is disabled";
  const RECT client = ClientRect(about);
  EXPECT_EQ(client.right, 254);
  EXPECT_EQ(client.bottom, 159);
  // At (848, 190) when it fits; otherwise moved just enough into the work area
  // of the main window's monitor: on the tests' 1024-pixel desktop it ends at
  // the work area's right edge, its top kept.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &monitor));
  const RECT work = monitor.rcWork;
  const RECT placed = WindowRect(about);
  if (848 + (placed.right - placed.left) > work.right)
    EXPECT_EQ(placed.right, work.right);
  else
    EXPECT_EQ(placed.left, 848);
  EXPECT_EQ(placed.top, 190);
  EXPECT_LE(placed.bottom, work.bottom);
  const DWORD style = Style(about);
  EXPECT_TRUE(style & WS_DLGFRAME);
  EXPECT_FALSE(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

  HWND text = Child(about, IDC_ABOUT_RICHEDIT1);
  HWND ok = Child(about, IDC_ABOUT_BUTTON1);
  ASSERT_NE(text, nullptr);
  ASSERT_NE(ok, nullptr);
  EXPECT_NE(Lower(ClassName(text)).find("richedit"), std::string::npos) << ClassName(text);
  EXPECT_FALSE(Style(text) & ES_READONLY);
  EXPECT_TRUE(Style(text) & ES_MULTILINE);
  const RECT textRect = RectInParent(text);
  EXPECT_EQ(textRect.left, 0);
  EXPECT_EQ(textRect.top, 0);
  EXPECT_EQ(textRect.right, 254);
  EXPECT_EQ(textRect.bottom, 105);
  const auto lines = Lines(Text(text));
  ASSERT_GE(lines.size(), 7u) << Text(text);
  EXPECT_EQ(lines[0], "Front End for Normalize by");
  EXPECT_EQ(lines[1].rfind("Design and concept by ", 0), 0u) << lines[1];
  EXPECT_GT(lines[1].size(), std::string("Design and concept by ").size());
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "Mail me with suggestions/programs needed. (i'll try to ");
  EXPECT_EQ(lines[4], "code them)");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], "Thanks 2 Torvin for Bug report!");
  EXPECT_EQ(Text(ok), "OK");
  const RECT okRect = RectInParent(ok);
  EXPECT_EQ(okRect.left, 90);
  EXPECT_EQ(okRect.top, 123);
  EXPECT_EQ(okRect.right - okRect.left, 75);
  EXPECT_EQ(okRect.bottom - okRect.top, 25);
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(about) == ok; })) << "OK has the focus";

  // Idle passes go on while the box is open.
  app.SetText(IDC_EDIT3, "C:\\x.wav");
  EXPECT_EQ(app.WaitForCommandLine("-l 0 \"C:\\x.wav\""), "-l 0 \"C:\\x.wav\"");
  app.SetText(IDC_EDIT3, "Select Input File!");
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + placeholder), "-l 0" + placeholder);

  // Escape does nothing; an edit to the text stays; Enter on OK closes.
  ASSERT_TRUE(Focus(ok));
  KeyPress(VK_ESCAPE);
  EXPECT_TRUE(Stays([&] { return IsVisible(about); }, Ms(300)));
  ASSERT_TRUE(Focus(text));
  KeyPress(VK_END);
  TypeText("zq");
  ASSERT_TRUE(WaitUntil([&] { return Text(text).find("zq") != std::string::npos; }));
  SetWindowPos(about, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(WaitUntil([&] { return WindowRect(about).left == 300; }));
  ASSERT_TRUE(Focus(ok));
  KeyPress(VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return !IsVisible(about); })) << "Enter closes";
  EXPECT_TRUE(IsWindow(about)) << "hidden, not destroyed";
  EXPECT_TRUE(WaitUntil([&] { return IsEnabled(main); }));
  EXPECT_EQ(app.WaitForCommandLine("-l 0" + placeholder), "-l 0" + placeholder);

  // Shown again where it was left, with the edit; the OK button closes it.
  app.Menu(IDM_ABOUT1);
  ASSERT_EQ(app.WaitForAbout(), about);
  EXPECT_EQ(WindowRect(about).left, 300);
  EXPECT_EQ(WindowRect(about).top, 200);
  EXPECT_NE(Text(text).find("zq"), std::string::npos);
  PostClick(ok);
  EXPECT_TRUE(WaitUntil([&] { return !IsVisible(about); }));
  EXPECT_TRUE(WaitUntil([&] { return IsEnabled(main); }));
  EXPECT_TRUE(app.Running());
}

// normalize --version names the version Quilbo.exe carries in its version
// resource (what Explorer's Properties > Details shows): one for both.
TEST(About, TheToolAndTheProgramGiveOneVersion) {
  const std::string exe = ProgramPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
  char* version = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\ProductVersion",
                             reinterpret_cast<void**>(&version), &length));

  const std::string output = ScratchDir() + "version.txt";
  std::string command = "\"";  // one append at a time: GCC 12 warns wrongly of "\"" + a temporary string
  command += BinDir() + "normalize.exe\" --version";
  ASSERT_EQ(RunLogged(command, output), 0u);
  std::ifstream file(output, std::ios::binary);
  std::stringstream said;
  said << file.rdbuf();
  EXPECT_EQ(said.str(), "normalize " + std::string(version) + " (Quilbo-FE)\r\n");
}
