#include "ui/form.h"

#include "win/dpi.h"

namespace quilbo {
namespace {

constexpr char kFontFace[] = "MS Sans Serif";
constexpr int kFontPoints = 8;

bool IsPushButton(HWND hwnd) {
  char className[16] = {};
  GetClassNameA(hwnd, className, sizeof className);
  if (lstrcmpiA(className, "BUTTON") != 0) return false;
  const LONG_PTR type = GetWindowLongPtrA(hwnd, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

TForm::TForm() { Application.AddForm(this); }

TForm::~TForm() { Application.RemoveForm(this); }

void TForm::CreateForm(const WindowClass& windowClass, const char* title, DWORD style, DWORD exStyle,
                       HMENU menu) {
  CreateArgs args;
  args.ownClass = &windowClass;
  args.text = title;
  args.style = style;
  args.exStyle = exStyle;
  const RECT place = PlaceAtDpi(kDesignDpi);
  args.left = place.left;
  args.top = place.top;
  args.width = place.right - place.left;
  args.height = place.bottom - place.top;
  args.parent = Application.Handle();
  args.menu = menu;
  Create(args);
  ChangeDpi(WindowDpi(hwnd_), nullptr);
}

void TForm::Lay(TControl& control, ControlArgs args) {
  layout_.push_back({&control, args.bounds});
  args.parent = hwnd_;
  args.bounds = ScaleToDpi(args.bounds, dpi_);
  if (!args.font) args.font = font_.Handle();
  control.SetDpi(dpi_);
  control.Create(args);
}

// Size, place, controls and font are laid out at 96 dpi and scale with the
// DPI, while the frame is what the system draws there: at 96 dpi the window
// is exactly as laid out.
void TForm::ChangeDpi(int dpi, const RECT* outer) {
  dpi_ = dpi;
  TFont font;
  font.Create(kFontFace, FontHeightForDpi(kFontPoints, dpi));
  for (const LaidControl& laid : layout_) {
    const HWND control = laid.control->Handle();
    if (!control) continue;
    laid.control->SetDpi(dpi);
    const Bounds bounds = ScaleToDpi(laid.design, dpi);
    SetWindowPos(control, nullptr, bounds.left, bounds.top, bounds.width, bounds.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), TRUE);
  }
  font_.Swap(font);  // the old font goes once no control uses it
  DpiChanged();
  const RECT place = outer ? *outer : PlaceAtDpi(dpi);
  laidOutSize_ = SIZE{place.right - place.left, place.bottom - place.top};
  SetWindowPos(hwnd_, nullptr, place.left, place.top, laidOutSize_.cx, laidOutSize_.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TForm::PreTranslateMessage(MSG& message) {
  if (toolTip_) toolTip_->Relay(message);
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) return true;
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    const HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus) && IsPushButton(focus)) {
      SendMessageA(focus, BM_CLICK, 0, 0);
      return true;
    }
    // A control that asks for Enter (the numeric field beeps, the About text
    // breaks the line) gets it; in any other control it does nothing.
    const LRESULT code =
        focus ? SendMessageA(focus, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&message))
              : 0;
    return (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) == 0;
  }
  if ((message.message == WM_CHAR) && (message.wParam == '\r' || message.wParam == 27))
    return false;  // let through what was let through as a key
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
    // Tab moves on even from the About text, which would take it as a character.
    const HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus) &&
        (SendMessageA(focus, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&message)) &
         DLGC_WANTTAB)) {
      SendMessageA(hwnd_, WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, 0);
      return true;
    }
  }
  return IsDialogMessageA(hwnd_, &message) != FALSE;
}

void TForm::SaveFocus() {
  const HWND focus = GetFocus();
  if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
}

void TForm::RestoreFocus() {
  HWND target = lastFocus_;
  if (!target || !IsWindow(target) || !IsWindowEnabled(target) || !IsWindowVisible(target))
    target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target) SetFocus(target);
}

LRESULT TForm::FormDefault(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        SaveFocus();
      } else {
        Application.FormActivated(this);
        if (!HIWORD(wParam)) RestoreFocus();
      }
      return 0;
    case WM_DPICHANGED:
      // Moved to a monitor of another scale: laid out again in the place and
      // size Windows suggests.
      ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_NOTIFY:
      if (toolTip_) toolTip_->Notify(*reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    case WM_NEXTDLGCTL: {
      HWND next = reinterpret_cast<HWND>(wParam);
      if (!LOWORD(lParam)) next = GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0);
      if (next) SetFocus(next);
      return 0;
    }
    default:
      return DefaultProc(message, wParam, lParam);
  }
}

}  // namespace quilbo
