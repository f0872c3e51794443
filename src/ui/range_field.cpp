#include "ui/range_field.h"

#include "ui/control_ids.h"
#include "win/device_context.h"

namespace quilbo {
namespace {

constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatDelay = 400;  // ms a held arrow waits before its first repeat
constexpr UINT kRepeatInterval = 100;    // ms between the repeats that follow

char LocaleDecimalSeparator() {
  char buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) == 0) return '.';
  return buffer[0];
}

POINT PointOf(LPARAM lParam) {
  // Signed: while the mouse is captured it may be left of or above the window.
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

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

}  // namespace

// ---- the field ----------------------------------------------------------------

TRangeField::TRangeField(RangeLimits limits, std::int32_t initialValue)
    : limits_(limits), initialValue_(initialValue) {}

TRangeField::~TRangeField() {
  // Here, while the field is whole: the edit's last messages come to it.
  DestroyHandle();
}

void TRangeField::Create(const ControlArgs& args) {
  const std::string text = RangeValueText(limits_, initialValue_);
  ControlArgs edit = args;
  edit.text = text.c_str();
  edit.font = nullptr;  // set once the arrow buttons exist
  CreateChild(edit, {.systemClass = "EDIT",
                     .takeOver = true,
                     .style = WS_TABSTOP | WS_CLIPCHILDREN | ES_AUTOHSCROLL,
                     .exStyle = WS_EX_CLIENTEDGE});
  buttons_.Create(hwnd_);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(args.font), FALSE);  // lays out too
  SendMessageA(hwnd_, EM_LIMITTEXT, 0, 0);                                 // no length limit
}

void TRangeField::SetText(const std::string& text) {
  if (Text() != text) TControl::SetText(text);
}

std::int32_t TRangeField::Value() const { return ReadRangeValue(limits_, Text()); }

void TRangeField::SetValue(std::int64_t value) { SetText(RangeValueText(limits_, value)); }

void TRangeField::Step(int direction) { SetText(SteppedRangeText(limits_, Text(), direction)); }

void TRangeField::SetDpi(int dpi) {
  dpi_ = dpi;
  if (hwnd_) Layout();
}

void TRangeField::Layout() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int buttonWidth = ScaleToDpi(kButtonWidth, dpi_);
  buttons_.Place(client, buttonWidth);
  // The edit resets its margins with every font. None on the left: a 45-pixel
  // field must show three digits and a sign.
  DefaultProc(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
           MAKELPARAM(0, buttonWidth + ScaleToDpi(kButtonGap, dpi_)));
}

LRESULT TRangeField::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CHAR:
      return EditChar(wParam, lParam);
    case WM_GETDLGCODE: {
      // Enter is wanted, so that it beeps here rather than pressing a button.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      const bool enter = key && (key->message == WM_KEYDOWN || key->message == WM_CHAR) && key->wParam == VK_RETURN;
      return DefaultProc(message, wParam, lParam) | (enter ? DLGC_WANTMESSAGE : 0);
    }
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN) {
        Step(wParam == VK_UP ? 1 : -1);
        return 0;
      }
      return DefaultProc(message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      focusByClick_ = true;
      const LRESULT result = DefaultProc(message, wParam, lParam);
      focusByClick_ = false;
      return result;
    }
    case WM_SETFOCUS: {
      const LRESULT result = DefaultProc(message, wParam, lParam);
      if (!focusByClick_) DefaultProc(EM_SETSEL, 0, -1);
      return result;
    }
    case WM_KILLFOCUS: {
      const LRESULT result = DefaultProc(message, wParam, lParam);
      if (const auto text = RangeTextOnFocusLoss(limits_, Text())) SetText(*text);
      return result;
    }
    case WM_SIZE:
    case WM_SETFONT: {
      const LRESULT result = DefaultProc(message, wParam, lParam);
      Layout();
      return result;
    }
    case WM_ENABLE: {
      const LRESULT result = DefaultProc(message, wParam, lParam);
      buttons_.Redraw();
      return result;
    }
    default:
      return DefaultProc(message, wParam, lParam);
  }
}

LRESULT TRangeField::EditChar(WPARAM wParam, LPARAM lParam) {
  if (!IsAcceptedRangeChar(static_cast<char>(wParam), LocaleDecimalSeparator())) {
    MessageBeep(0);
    return 0;
  }
  return DefaultProc(WM_CHAR, wParam, lParam);
}

// ---- the arrow buttons ----------------------------------------------------------

void TArrowButtons::Create(HWND edit) {
  // The arrows split the height: at a new size (another DPI) drawn afresh.
  static const WindowClass kClass{QUILBO_RANGE_FIELD_BUTTONS_CLASS, CS_HREDRAW | CS_VREDRAW};
  CreateArgs args;
  args.ownClass = &kClass;
  args.style = WS_CHILD | WS_VISIBLE;
  args.width = TRangeField::kButtonWidth;
  args.parent = edit;
  TWindow::Create(args);
}

void TArrowButtons::Place(const RECT& editClient, int width) {
  if (hwnd_) MoveWindow(hwnd_, editClient.right - width, 0, width, editClient.bottom, TRUE);
}

void TArrowButtons::Redraw() const {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT TArrowButtons::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      const PaintSession paint(hwnd_);
      Paint(paint.Dc());
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the painting covers every pixel
    case WM_LBUTTONDOWN: {
      const Arrow arrow = ArrowAt(PointOf(lParam));
      if (arrow == Arrow::none || !field_.Enabled()) return 0;
      if (GetFocus() != field_.Handle()) SetFocus(field_.Handle());
      Press(arrow);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (pressed_ != Arrow::none) {
        const bool over = ArrowAt(PointOf(lParam)) == pressed_;
        if (over != pressedShown_) {
          pressedShown_ = over;
          Redraw();
        }
      }
      return 0;
    case WM_LBUTTONUP:
      if (pressed_ != Arrow::none) Release(ArrowAt(PointOf(lParam)) == pressed_);
      return 0;
    case WM_TIMER:
      if (wParam == kRepeatTimer && pressed_ != Arrow::none) {
        if (!repeating_) {
          repeating_ = true;
          SetTimer(hwnd_, kRepeatTimer, kRepeatInterval, nullptr);
        }
        if (pressedShown_) Step(pressed_);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (pressed_ != Arrow::none) Release(false);  // the press was taken away
      return 0;
    default:
      return DefaultProc(message, wParam, lParam);
  }
}

TArrowButtons::Arrow TArrowButtons::ArrowAt(POINT point) const {
  for (const Arrow arrow : {Arrow::up, Arrow::down}) {
    const RECT rect = ArrowRect(hwnd_, arrow == Arrow::up);
    if (PtInRect(&rect, point)) return arrow;
  }
  return Arrow::none;
}

void TArrowButtons::Paint(HDC dc) const {
  const UINT enabled = field_.Enabled() ? 0 : DFCS_INACTIVE;
  for (const Arrow arrow : {Arrow::up, Arrow::down}) {
    RECT rect = ArrowRect(hwnd_, arrow == Arrow::up);
    const UINT pushed = (pressed_ == arrow && pressedShown_) ? DFCS_PUSHED : 0;
    DrawFrameControl(dc, &rect, DFC_SCROLL,
                     (arrow == Arrow::up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | enabled | pushed);
  }
}

void TArrowButtons::Press(Arrow arrow) {
  pressed_ = arrow;
  pressedShown_ = true;
  repeating_ = false;
  SetCapture(hwnd_);
  SetTimer(hwnd_, kRepeatTimer, kFirstRepeatDelay, nullptr);
  Redraw();
}

void TArrowButtons::Release(bool step) {
  const Arrow arrow = pressed_;
  // Cleared first: releasing the capture reports WM_CAPTURECHANGED at once.
  pressed_ = Arrow::none;
  pressedShown_ = false;
  KillTimer(hwnd_, kRepeatTimer);
  if (GetCapture() == hwnd_) ReleaseCapture();
  Redraw();
  if (step) Step(arrow);
}

void TArrowButtons::Step(Arrow arrow) { field_.Step(arrow == Arrow::up ? 1 : -1); }

}  // namespace quilbo
