#include "ui/range_field.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "ui/control_ids.h"
#include "ui/device_context.h"
#include "ui/window.h"

namespace quilbo {
namespace {

constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatDelay = 400;  // ms a held arrow waits before its first repeat
constexpr UINT kRepeatInterval = 100;    // ms between the repeats that follow

TRangeField::ErrorHandler errorHandler = nullptr;

char LocaleDecimalSeparator() {
  char buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) == 0) return '.';
  return buffer[0];
}

POINT PointOf(LPARAM lParam) {
  // Signed: while the mouse is captured it may be left of or above the window.
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// The upper half of the buttons' window steps up, the lower half down.
RECT ArrowRect(HWND buttons, bool up) {
  RECT rect{};
  GetClientRect(buttons, &rect);
  const LONG middle = rect.top + (rect.bottom - rect.top) / 2;
  if (up)
    rect.bottom = middle;
  else
    rect.top = middle;
  return rect;
}

class ClipboardSession {
 public:
  explicit ClipboardSession(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  ~ClipboardSession() {
    if (open_) CloseClipboard();
  }
  bool IsOpen() const { return open_; }

 private:
  bool open_;
};

class GlobalLockSession {
 public:
  explicit GlobalLockSession(HANDLE memory) : memory_(memory), pointer_(GlobalLock(memory)) {}
  GlobalLockSession(const GlobalLockSession&) = delete;
  GlobalLockSession& operator=(const GlobalLockSession&) = delete;
  ~GlobalLockSession() {
    if (pointer_) GlobalUnlock(memory_);
  }
  const void* Pointer() const { return pointer_; }

 private:
  HANDLE memory_;
  void* pointer_;
};

}  // namespace

TRangeField::TRangeField(RangeLimits limits, std::int32_t initialValue)
    : limits_(limits),
      pendingText_(RangeValueText(limits, initialValue)) {}

TRangeField::~TRangeField() {
  if (edit_) DestroyWindow(edit_);  // takes the arrow buttons with it
}

void TRangeField::SetErrorHandler(ErrorHandler handler) { errorHandler = handler; }

void TRangeField::ReportError(const std::exception& error) {
  if (errorHandler)
    errorHandler(error);
  else
    ShowException(error);
}

void TRangeField::Create(HWND parent, int id, RECT bounds, HFONT font) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA buttonsClass{};
  buttonsClass.lpszClassName = QUILBO_RANGE_FIELD_BUTTONS_CLASS;
  RegisterWindowClass(buttonsClass, &TRangeField::ButtonsProc);

  // A multi-line edit, because only that kind lets the editable area be narrowed
  // to leave room for the arrow buttons; Enter and pasted line breaks are kept
  // out, so it never holds more than one line.
  edit_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", pendingText_.c_str(),
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_MULTILINE |
                              ES_AUTOHSCROLL,
                          bounds.left, bounds.top, bounds.right - bounds.left,
                          bounds.bottom - bounds.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (!edit_) throw std::runtime_error("Cannot create a numeric field");
  pendingText_.clear();
  SetWindowLongPtrA(edit_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  originalEditProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TRangeField::EditProc)));

  buttons_ = CreateWindowExA(0, QUILBO_RANGE_FIELD_BUTTONS_CLASS, "", WS_CHILD | WS_VISIBLE, 0, 0,
                             kButtonWidth, 0, edit_, nullptr, instance, this);
  if (!buttons_) throw std::runtime_error("Cannot create the arrow buttons of a numeric field");

  SendMessageA(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);  // lays out too
  SendMessageA(edit_, EM_LIMITTEXT, 0, 0);                                 // no length limit
}

std::string TRangeField::Text() const {
  if (!edit_) return pendingText_;
  const int length = GetWindowTextLengthA(edit_);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(edit_, buffer.data(), length + 1);
  return std::string(buffer.data());
}

void TRangeField::SetText(const std::string& text) {
  if (!edit_) {
    pendingText_ = text;
    return;
  }
  // Setting the same text again would only move the caret to the start.
  if (Text() != text) SetWindowTextA(edit_, text.c_str());
}

std::int32_t TRangeField::Value() const { return ReadRangeValue(limits_, Text()); }

void TRangeField::SetValue(std::int64_t value) { SetText(RangeValueText(limits_, value)); }

void TRangeField::Step(int direction) { SetText(SteppedRangeText(limits_, Text(), direction)); }

void TRangeField::Layout() {
  RECT client{};
  GetClientRect(edit_, &client);
  const int buttonsLeft = client.right - kButtonWidth;
  if (buttons_) MoveWindow(buttons_, buttonsLeft, 0, kButtonWidth, client.bottom, TRUE);
  // The edit forgets a narrowed area whenever its size or font changes. No
  // margins inside it: a 45-pixel field must show three digits and a sign.
  CallEdit(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  RECT editable{0, 0, buttonsLeft - kButtonGap, client.bottom};
  CallEdit(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&editable));
}

void TRangeField::DetachEdit() {
  SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalEditProc_));
  SetWindowLongPtrA(edit_, GWLP_USERDATA, 0);
  edit_ = nullptr;
}

// ---- the edit -------------------------------------------------------------

LRESULT CALLBACK TRangeField::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TRangeField*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
  try {
    return self->HandleEditMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    ReportError(error);
  } catch (...) {
    ReportError(std::runtime_error("Unknown error in a numeric field"));
  }
  return 0;
}

LRESULT TRangeField::CallEdit(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(originalEditProc_, edit_, message, wParam, lParam);
}

LRESULT TRangeField::HandleEditMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CHAR:
      return EditChar(wParam, lParam);
    case WM_GETDLGCODE:
      return EditDialogCode(lParam);
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN) {
        Step(wParam == VK_UP ? 1 : -1);
        return 0;
      }
      if (wParam == VK_INSERT && GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) >= 0) {
        PasteFirstLine();  // the edit would paste without WM_PASTE
        return 0;
      }
      return CallEdit(message, wParam, lParam);
    case WM_PASTE:
      PasteFirstLine();
      return 0;
    case WM_SETTEXT: {
      if (!lParam) return CallEdit(message, wParam, lParam);
      const char* text = reinterpret_cast<const char*>(lParam);
      const std::string line(text, std::strcspn(text, "\r\n"));
      return CallEdit(message, wParam, reinterpret_cast<LPARAM>(line.c_str()));
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      focusByClick_ = true;
      const LRESULT result = CallEdit(message, wParam, lParam);
      focusByClick_ = false;
      return result;
    }
    case WM_SETFOCUS: {
      const LRESULT result = CallEdit(message, wParam, lParam);
      if (!focusByClick_) CallEdit(EM_SETSEL, 0, -1);
      return result;
    }
    case WM_KILLFOCUS: {
      const LRESULT result = CallEdit(message, wParam, lParam);
      if (const auto text = RangeTextOnFocusLoss(limits_, Text())) SetText(*text);
      return result;
    }
    case WM_SIZE:
    case WM_SETFONT: {
      const LRESULT result = CallEdit(message, wParam, lParam);
      Layout();
      return result;
    }
    case WM_ENABLE: {
      const LRESULT result = CallEdit(message, wParam, lParam);
      InvalidateButtons();
      return result;
    }
    case WM_NCDESTROY: {
      const WNDPROC original = originalEditProc_;
      const HWND edit = edit_;
      DetachEdit();
      return CallWindowProcA(original, edit, message, wParam, lParam);
    }
    default:
      return CallEdit(message, wParam, lParam);
  }
}

LRESULT TRangeField::EditChar(WPARAM wParam, LPARAM lParam) {
  const char typed = static_cast<char>(wParam);
  if (!IsAcceptedRangeChar(typed, LocaleDecimalSeparator())) {
    MessageBeep(0);
    return 0;
  }
  // Accepted, but a one-line field has no use for a tab or a Ctrl+Enter line feed.
  if (typed == '\t' || typed == '\n') return 0;
  if (typed == 0x16) {  // Ctrl+V
    PasteFirstLine();
    return 0;
  }
  return CallEdit(WM_CHAR, wParam, lParam);
}

// Not the edit's own answer: once asked by a dialog, a multi-line edit turns
// Escape into closing its parent. Enter is wanted so that it beeps here rather
// than pressing a default button; Tab is left to the dialog navigation.
LRESULT TRangeField::EditDialogCode(LPARAM lParam) {
  LRESULT code = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
  const auto* message = reinterpret_cast<const MSG*>(lParam);
  if (message && (message->message == WM_KEYDOWN || message->message == WM_CHAR) &&
      message->wParam == VK_RETURN)
    code |= DLGC_WANTMESSAGE;
  return code;
}

// A one-line edit pastes only the first line of the clipboard's text; this
// edit, being multi-line, would otherwise refuse a text of several lines.
void TRangeField::PasteFirstLine() {
  std::string line;
  {
    if (!IsClipboardFormatAvailable(CF_TEXT)) return;
    const ClipboardSession clipboard(edit_);
    if (!clipboard.IsOpen()) return;
    const HANDLE data = GetClipboardData(CF_TEXT);
    if (!data) return;
    const GlobalLockSession lock(data);
    const auto* text = static_cast<const char*>(lock.Pointer());
    if (!text) return;
    line.assign(text, std::strcspn(text, "\r\n"));
  }
  CallEdit(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(line.c_str()));
}

// ---- the arrow buttons ------------------------------------------------------

LRESULT CALLBACK TRangeField::ButtonsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TRangeField*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
  try {
    return self->HandleButtonsMessage(hwnd, message, wParam, lParam);
  } catch (const std::exception& error) {
    ReportError(error);
  } catch (...) {
    ReportError(std::runtime_error("Unknown error in a numeric field"));
  }
  return 0;
}

LRESULT TRangeField::HandleButtonsMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      const PaintSession paint(hwnd);
      PaintButtons(paint.Dc());
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the painting covers every pixel
    case WM_LBUTTONDOWN: {
      const Arrow arrow = ArrowAt(PointOf(lParam));
      if (arrow == Arrow::none || !IsWindowEnabled(edit_)) return 0;
      if (GetFocus() != edit_) SetFocus(edit_);
      PressArrow(arrow);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (pressed_ != Arrow::none) {
        const bool over = IsOverPressedArrow(PointOf(lParam));
        if (over != pressedShown_) {
          pressedShown_ = over;
          InvalidateButtons();
        }
      }
      return 0;
    case WM_LBUTTONUP:
      if (pressed_ != Arrow::none) ReleaseArrow(IsOverPressedArrow(PointOf(lParam)));
      return 0;
    case WM_TIMER:
      if (wParam == kRepeatTimer && pressed_ != Arrow::none) {
        if (!repeating_) {
          repeating_ = true;
          SetTimer(hwnd, kRepeatTimer, kRepeatInterval, nullptr);
        }
        if (pressedShown_) Step(pressed_ == Arrow::up ? 1 : -1);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (pressed_ != Arrow::none) ReleaseArrow(false);  // the press was taken away
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      buttons_ = nullptr;
      pressed_ = Arrow::none;
      return DefWindowProcA(hwnd, message, wParam, lParam);
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

TRangeField::Arrow TRangeField::ArrowAt(POINT point) const {
  for (const Arrow arrow : {Arrow::up, Arrow::down}) {
    const RECT rect = ArrowRect(buttons_, arrow == Arrow::up);
    if (PtInRect(&rect, point)) return arrow;
  }
  return Arrow::none;
}

bool TRangeField::IsOverPressedArrow(POINT point) const {
  return pressed_ != Arrow::none && ArrowAt(point) == pressed_;
}

void TRangeField::PaintButtons(HDC dc) const {
  const UINT enabled = IsWindowEnabled(edit_) ? 0 : DFCS_INACTIVE;
  for (const Arrow arrow : {Arrow::up, Arrow::down}) {
    RECT rect = ArrowRect(buttons_, arrow == Arrow::up);
    const UINT pushed = (pressed_ == arrow && pressedShown_) ? DFCS_PUSHED : 0;
    DrawFrameControl(dc, &rect, DFC_SCROLL,
                     (arrow == Arrow::up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | enabled | pushed);
  }
}

void TRangeField::PressArrow(Arrow arrow) {
  pressed_ = arrow;
  pressedShown_ = true;
  repeating_ = false;
  SetCapture(buttons_);
  SetTimer(buttons_, kRepeatTimer, kFirstRepeatDelay, nullptr);
  InvalidateButtons();
}

void TRangeField::ReleaseArrow(bool step) {
  const Arrow arrow = pressed_;
  // Cleared first: releasing the capture reports WM_CAPTURECHANGED at once.
  pressed_ = Arrow::none;
  pressedShown_ = false;
  KillTimer(buttons_, kRepeatTimer);
  if (GetCapture() == buttons_) ReleaseCapture();
  InvalidateButtons();
  if (step) Step(arrow == Arrow::up ? 1 : -1);
}

void TRangeField::InvalidateButtons() const {
  if (buttons_) InvalidateRect(buttons_, nullptr, FALSE);
}

}  // namespace quilbo
