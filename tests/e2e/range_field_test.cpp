// The numeric option fields on the real window: what typing, pasting, the
// arrow keys and the arrow buttons do to a field's text and to the composed
// command line, where the focus and the selection go, and the auto-repeat of a
// held arrow button.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "harness/harness.h"

using namespace e2e;

namespace {

const std::string kInput = " \"Select Input File!\"";

std::pair<DWORD, DWORD> Selection(HWND edit) {
  const auto packed = static_cast<DWORD>(SendMessageA(edit, EM_GETSEL, 0, 0));
  return {LOWORD(packed), HIWORD(packed)};
}

bool WholeTextSelected(HWND edit) {
  const auto [start, end] = Selection(edit);
  return start == 0 && end == Text(edit).size();
}

// A point in the upper (up) or lower (down) arrow button of a field.
POINT ArrowPoint(HWND field, bool up) {
  HWND buttons = FindWindowExA(field, nullptr, QUILBO_RANGE_FIELD_BUTTONS_CLASS, nullptr);
  EXPECT_NE(buttons, nullptr) << "no arrow buttons inside the field";
  const RECT r = WindowRect(buttons);
  const LONG quarter = (r.bottom - r.top) / 4;
  return {(r.left + r.right) / 2, up ? r.top + quarter : r.bottom - 1 - quarter};
}

void PutOnClipboard(const std::string& text) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  ASSERT_NE(memory, nullptr);
  std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  SetClipboardData(CF_TEXT, memory);  // the clipboard owns it now
  CloseClipboard();
}

void PressCtrlV() {
  KeyDown(VK_CONTROL);
  KeyPress('V');
  KeyUp(VK_CONTROL);
}

// Leaves `field` by Tab, which the field itself must not swallow.
void LeaveByTab(HWND field) {
  KeyPress(VK_TAB);
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(field) != field; })) << "Tab kept the focus";
}

}  // namespace

TEST(RangeField, TypedTextComposesAsTypedUntilLeftThenClamps) {
  struct Case {
    int radio;
    int field;
    const char* typed;  // replaces the whole text; empty: Backspace
    std::string composedWhileTyping;
    const char* textAfterLeaving;
    std::string composedAfterLeaving;
  };
  const Case cases[] = {
      {IDC_RADIOBUTTON1, IDC_SPINEDIT1, "500", "-l 500 -b 64", "100", "-l 100 -b 64"},
      {IDC_RADIOBUTTON1, IDC_SPINEDIT1, "-500", "-l -500 -b 64", "-100", "-l -100 -b 64"},
      {IDC_RADIOBUTTON1, IDC_SPINEDIT5, "20000", "-l -100 -b 20000", "16384", "-l -100 -b 16384"},
      {IDC_RADIOBUTTON1, IDC_SPINEDIT5, "5", "-l -100 -b 5", "16", "-l -100 -b 16"},
      // Beyond 32 bits: reads as the minimum, which needs no clamping, so it stays.
      {IDC_RADIOBUTTON1, IDC_SPINEDIT5, "12345678901", "-l -100 -b 16", "12345678901",
       "-l -100 -b 16"},
      {IDC_RADIOBUTTON3, IDC_SPINEDIT3, "", "-m -100 -b 16", "", "-m -100 -b 16"},
      {IDC_RADIOBUTTON2, IDC_SPINEDIT2, "-", "-a -30 -b 16", "-", "-a -30 -b 16"},
  };
  App app;
  app.SendClick(IDC_CHECKBOX1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("typed \"") + c.typed + "\" into field " + std::to_string(c.field));
    app.SendClick(c.radio);
    HWND field = app.Control(c.field);
    ASSERT_TRUE(Focus(field));
    if (*c.typed)
      TypeText(c.typed);  // the focus came without a click, so the whole text was selected
    else
      KeyPress(VK_BACK);
    EXPECT_EQ(app.WaitForText(c.field, c.typed), c.typed);
    EXPECT_EQ(app.WaitForCommandLine(c.composedWhileTyping + kInput),
              c.composedWhileTyping + kInput);
    LeaveByTab(field);
    EXPECT_EQ(app.WaitForText(c.field, c.textAfterLeaving), c.textAfterLeaving);
    EXPECT_EQ(app.WaitForCommandLine(c.composedAfterLeaving + kInput),
              c.composedAfterLeaving + kInput);
  }
}

TEST(RangeField, RefusesEnterAndLettersButTakesAnyPastedText) {
  App app;
  HWND field = app.Control(IDC_SPINEDIT1);
  ASSERT_TRUE(Focus(field));
  KeyPress(VK_END);
  KeyPress(VK_RETURN);
  TypeText("a+");
  PostChar(field, '\r');
  PostChar(field, 'b');
  PostChar(field, '\n');  // Ctrl+Enter's line feed: taken, but a one-line field ignores it
  TypeText("7");
  EXPECT_EQ(app.WaitForText(IDC_SPINEDIT1, "0+7"), "0+7");
  EXPECT_EQ(app.WaitForCommandLine("-l -100" + kInput), "-l -100" + kInput);
  ASSERT_TRUE(app.Running());
  LeaveByTab(field);
  EXPECT_EQ(app.Text(IDC_SPINEDIT1), "0+7");  // unconvertible: left alone

  struct Paste {
    const char* clipboard;
    const char* text;
    std::string composed;
  };
  const Paste pastes[] = {
      {"$1F", "$1F", "-l 31"},  // in range as read, so it stays after leaving
      {"q", "q", "-l -100"},    // letters arrive by pasting, and read as the minimum
      {"12\r\n34", "12", "-l 12"},  // only the first line, as in a one-line edit
  };
  for (const Paste& p : pastes) {
    SCOPED_TRACE(std::string("pasted \"") + p.clipboard + "\"");
    PutOnClipboard(p.clipboard);
    ASSERT_TRUE(Focus(field));  // selects the whole text, which the paste replaces
    PressCtrlV();
    EXPECT_EQ(app.WaitForText(IDC_SPINEDIT1, p.text), p.text);
    EXPECT_EQ(app.WaitForCommandLine(p.composed + kInput), p.composed + kInput);
    LeaveByTab(field);
    EXPECT_TRUE(Stays([&] { return app.Text(IDC_SPINEDIT1) == p.text; }, Ms(300))) << app.Text(IDC_SPINEDIT1);
  }
}

TEST(RangeField, ArrowKeysStepThroughTheClampingSetter) {
  struct Case {
    int field;
    const char* text;
    std::vector<UINT> keys;
    const char* expected;
  };
  const Case cases[] = {
      {IDC_SPINEDIT2, "29", {VK_UP}, "30"},
      {IDC_SPINEDIT2, "30", {VK_UP, VK_DOWN}, "29"},  // the up step stopped at 30
      {IDC_SPINEDIT2, "-30", {VK_DOWN, VK_UP}, "-29"},
      {IDC_SPINEDIT2, "500", {VK_DOWN}, "30"},
      {IDC_SPINEDIT5, "2147483647", {VK_UP}, "16384"},  // no wrap to the minimum
      {IDC_SPINEDIT5, "-2147483648", {VK_DOWN}, "16"},
      {IDC_SPINEDIT3, "", {VK_UP}, "-99"},
      {IDC_SPINEDIT1, "$1F", {VK_UP}, "32"},
  };
  App app;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("from \"") + c.text + "\" in field " + std::to_string(c.field));
    app.SetText(c.field, c.text);
    ASSERT_TRUE(Focus(app.Control(c.field)));
    for (UINT key : c.keys) KeyPress(key);
    EXPECT_EQ(app.WaitForText(c.field, c.expected), c.expected);
  }
}

TEST(RangeField, FocusByTabOrArrowSelectsAllButAClickIntoTheEditDoesNot) {
  App app;
  HWND ratio = app.Control(IDC_SPINEDIT1);
  HWND level = app.Control(IDC_SPINEDIT2);
  HWND percent = app.Control(IDC_SPINEDIT3);
  HWND abort = app.Control(IDC_SPINEDIT4);

  app.SetText(IDC_SPINEDIT2, "-12");
  ASSERT_TRUE(Focus(ratio));
  KeyPress(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(level) == level; })) << "Tab did not reach SpinEdit2";
  EXPECT_TRUE(WholeTextSelected(level));

  const RECT r = WindowRect(percent);
  MouseClick({r.left + 8, (r.top + r.bottom) / 2});
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(percent) == percent; }));
  const auto [start, end] = Selection(percent);
  EXPECT_EQ(start, end) << "a click into the edit selected text";

  // At its maximum the held button cannot change the text, so the selection
  // the press made stays to be seen.
  app.SetText(IDC_SPINEDIT4, "30");
  MouseMove(ArrowPoint(abort, true));
  MouseDown();
  EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(abort) == abort; })) << "the press kept no focus";
  EXPECT_TRUE(WholeTextSelected(abort));
  MouseUp();
  EXPECT_EQ(app.Text(IDC_SPINEDIT4), "30");
}

TEST(RangeField, ArrowButtonClickStepsOnceOnRelease) {
  App app;
  HWND ratio = app.Control(IDC_SPINEDIT1);

  MouseClick(ArrowPoint(ratio, true));
  EXPECT_EQ(app.WaitForCommandLine("-l 1" + kInput), "-l 1" + kInput);
  // Longer than the repeat delay: a click must not repeat.
  EXPECT_TRUE(Stays([&] { return app.Text(IDC_SPINEDIT1) == "1"; }, Ms(700))) << app.Text(IDC_SPINEDIT1);

  MouseClick(ArrowPoint(ratio, false));
  MouseClick(ArrowPoint(ratio, false));
  EXPECT_EQ(app.WaitForText(IDC_SPINEDIT1, "-1"), "-1");

  // Released away from the button: no step.
  MouseMove(ArrowPoint(ratio, true));
  MouseDown();
  const RECT r = WindowRect(app.Main());
  MouseMove({r.left + 20, r.bottom - 40});
  MouseUp();
  EXPECT_TRUE(Stays([&] { return app.Text(IDC_SPINEDIT1) == "-1"; }, Ms(300))) << app.Text(IDC_SPINEDIT1);
  EXPECT_EQ(app.CommandLine(), "-l -1" + kInput);
}

// Held down, an arrow button does not step at the press, then goes on stepping
// down; the release steps once more and the repeating stops. (The delays are
// figures of bench/run-frontend-bench.)
TEST(RangeField, HeldArrowButtonRepeatsAndStopsAtTheRelease) {
  App app;
  HWND buffer = app.Control(IDC_SPINEDIT5);
  ASSERT_EQ(app.Text(IDC_SPINEDIT5), "64");
  auto value = [&] { return std::stoi(Text(buffer)); };

  // The arrow buttons hold the mouse from the press to the release.
  auto held = [&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(buffer, nullptr), &info) && info.hwndCapture != nullptr;
  };
  MouseMove(ArrowPoint(buffer, false));
  MouseDown();
  ASSERT_TRUE(WaitUntil(held)) << "the press was not taken";
  EXPECT_EQ(value(), 64) << "stepped at the press";
  int lowest = 64;
  const bool repeated = WaitUntil([&] {
    const int now = value();
    EXPECT_LE(now, lowest) << "a down arrow stepped up";
    lowest = now;
    return now <= 61;
  }, Ms(10000));
  const int beforeRelease = value();
  MouseUp();
  ASSERT_TRUE(repeated) << "holding the button did not repeat: " << beforeRelease;

  // The release lets the mouse go and steps once in the same message; a sent
  // message is answered only after that.
  ASSERT_TRUE(WaitUntil([&] { return !held(); })) << "the release was not taken";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(buffer, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
  const int released = value();
  EXPECT_LT(released, beforeRelease) << "no step at the release";
  EXPECT_TRUE(Stays([&] { return value() == released; }, Ms(500))) << "went on repeating after the release";
}

// The text runs from the field's left edge up to 2 pixels before the arrow
// buttons, in every field, also after the text has been scrolled by a long entry.
TEST(RangeField, EditableAreaEndsBeforeTheArrowButtons) {
  App app;
  for (int id : {IDC_SPINEDIT1, IDC_SPINEDIT2, IDC_SPINEDIT3, IDC_SPINEDIT4, IDC_SPINEDIT5}) {
    SCOPED_TRACE("field " + std::to_string(id));
    HWND field = app.Control(id);
    HWND buttons = FindWindowExA(field, nullptr, QUILBO_RANGE_FIELD_BUTTONS_CLASS, nullptr);
    ASSERT_NE(buttons, nullptr);
    const RECT client = ClientRect(field);
    const RECT arrows = RectInParent(buttons);
    EXPECT_EQ(arrows.right, client.right);
    EXPECT_EQ(arrows.right - arrows.left, 15);
    app.SetText(id, "-123456789012");
    RECT editable{};
    SendMessageA(field, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&editable));
    // Wine keeps one pixel more inside a client edge, on both sides.
    EXPECT_LE(editable.left, 1);
    EXPECT_LE(editable.right, arrows.left - 2);
    EXPECT_GE(editable.right, arrows.left - 3);
    // The last character, scrolled into view, stands left of that edge.
    ASSERT_TRUE(Focus(field));
    KeyPress(VK_END);
    const auto last = static_cast<DWORD>(SendMessageA(field, EM_POSFROMCHAR, 12, 0));
    EXPECT_LT(static_cast<short>(LOWORD(last)), arrows.left - 2);
    EXPECT_GE(static_cast<short>(LOWORD(last)), 0);
  }
}
