#include "ui/hint_window.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "ui/control_ids.h"
#include "ui/device_context.h"

namespace quilbo {
namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kHideTimer = 2;
// While a hint shows: has the mouse left its control?
constexpr UINT_PTR kLeaveTimer = 3;
constexpr UINT kLeaveCheckMs = 100;
constexpr int kMarginX = 3;
constexpr int kMarginY = 1;

POINT MessagePoint(const MSG& message) {
  POINT point{static_cast<short>(LOWORD(message.lParam)), static_cast<short>(HIWORD(message.lParam))};
  ClientToScreen(message.hwnd, &point);
  return point;
}

// The bitmaps GetIconInfo hands over, deleted with this.
struct IconInfo : ICONINFO {
  IconInfo() : ICONINFO{} {}
  IconInfo(const IconInfo&) = delete;
  IconInfo& operator=(const IconInfo&) = delete;
  ~IconInfo() {
    if (hbmMask) DeleteObject(hbmMask);
    if (hbmColor) DeleteObject(hbmColor);
  }
};

// The distance from the pointer's hot spot down to the lowest row it draws.
int PointerDepth() {
  const int fallback = GetSystemMetrics(SM_CYCURSOR) * 2 / 3;
  IconInfo info;
  const HCURSOR cursor = GetCursor();
  if (!cursor || !GetIconInfo(cursor, &info)) return fallback;
  BITMAP mask{};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  // A monochrome pointer's mask holds its AND half above its XOR half; a
  // colour pointer's mask is the AND half alone.
  const bool monochrome = info.hbmColor == nullptr;
  const int height = monochrome ? mask.bmHeight / 2 : mask.bmHeight;
  const int width = mask.bmWidth;
  // The mask as rows of 32-bit words, top row first.
  const int wordsPerRow = (width + 31) / 32;
  std::vector<DWORD> bits(static_cast<std::size_t>(wordsPerRow) * mask.bmHeight);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } format{};
  format.header = {sizeof(BITMAPINFOHEADER), width, -mask.bmHeight, 1, 1, BI_RGB, 0, 0, 0, 0, 0};
  const int read = GetDIBits(WindowDc(nullptr).Dc(), info.hbmMask, 0, static_cast<UINT>(mask.bmHeight),
                             bits.data(), reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS);
  if (mask.bmHeight == 0 || read != mask.bmHeight) return fallback;

  const DWORD lastWordMask = width % 32 ? ~0u << (32 - width % 32) : ~0u;  // bits in MSB-first order
  auto rowHas = [&](int row, bool set) {
    for (int w = 0; w < wordsPerRow; ++w) {
      // The bytes of a word are in screen order; swapped so the leftmost pixel is the top bit.
      DWORD word = bits[static_cast<std::size_t>(row) * wordsPerRow + w];
      word = (word >> 24) | ((word >> 8) & 0xFF00u) | ((word << 8) & 0xFF0000u) | (word << 24);
      if (!set) word = ~word;
      if (w == wordsPerRow - 1) word &= lastWordMask;
      if (word) return true;
    }
    return false;
  };
  // A pixel is drawn where its AND bit is clear or its XOR bit is set.
  for (int row = height - 1; row >= 0; --row) {
    if (rowHas(row, false) || (monochrome && rowHas(row + height, true)))
      return std::max(1, row + 1 - static_cast<int>(info.yHotspot));
  }
  return fallback;
}

}  // namespace

void THintWindow::Attach(HWND form, UINT pauseMs, UINT hidePauseMs) {
  form_ = form;
  pauseMs_ = pauseMs;
  hidePauseMs_ = hidePauseMs;
}

void THintWindow::AddTool(const TControl& control, std::string text) {
  RECT area{};
  GetWindowRect(control.Handle(), &area);
  MapWindowPoints(nullptr, form_, reinterpret_cast<POINT*>(&area), 2);
  tools_.push_back({area, std::move(text)});
}

void THintWindow::SetActive(bool active) {
  active_ = active;
  if (!active_) Cancel();
}

void THintWindow::Relay(const MSG& message) {
  // The loop hands over only the messages of the form and its controls.
  if (!active_ || !form_) return;
  switch (message.message) {
    case WM_MOUSEMOVE:
      MouseAt(MessagePoint(message));
      break;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL: case WM_KEYDOWN: case WM_SYSKEYDOWN:
      // Gone until the mouse moves on to another control.
      Hide();
      if (hwnd_) KillTimer(hwnd_, kShowTimer);
      break;
    default:
      break;
  }
}

void THintWindow::MouseAt(POINT screenPoint) {
  const int tool = ToolAt(screenPoint);
  if (tool == current_) return;
  const bool wasShowing = showing_;
  Hide();
  current_ = tool;
  if (current_ < 0) return;
  if (!HandleCreated()) return;
  if (wasShowing)
    Show();
  else
    SetTimer(hwnd_, kShowTimer, pauseMs_, nullptr);
}

bool THintWindow::RestsOn(int tool) const {
  POINT pointer{};
  GetCursorPos(&pointer);
  const HWND under = WindowFromPoint(pointer);
  return tool >= 0 && ToolAt(pointer) == tool && (under == form_ || IsChild(form_, under));
}

int THintWindow::ToolAt(POINT screenPoint) const {
  ScreenToClient(form_, &screenPoint);
  for (std::size_t i = 0; i < tools_.size(); ++i)
    if (PtInRect(&tools_[i].area, screenPoint)) return static_cast<int>(i);
  return -1;
}

void THintWindow::Show() {
  KillTimer(hwnd_, kShowTimer);
  text_ = tools_[static_cast<std::size_t>(current_)].text;
  SetWindowTextA(hwnd_, text_.c_str());  // for whoever reads the screen

  RECT textRect{0, 0, 0, 0};
  {
    const WindowDc dc(hwnd_);
    const HGDIOBJ oldFont = SelectObject(dc.Dc(), font_.Handle());
    DrawTextA(dc.Dc(), text_.c_str(), -1, &textRect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc.Dc(), oldFont);
  }
  const int width = textRect.right + 2 * kMarginX + 2;  // and the border
  const int height = textRect.bottom + 2 * kMarginY + 2;

  POINT pointer{};
  GetCursorPos(&pointer);
  int left = pointer.x;
  int top = pointer.y + PointerDepth();
  // Kept on the pointer's monitor; above the pointer when there is no room below.
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  if (GetMonitorInfoA(MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    if (left + width > work.right) left = work.right - width;
    if (left < work.left) left = work.left;
    if (top + height > work.bottom) top = pointer.y - height;
    if (top < work.top) top = work.top;
  }
  SetWindowPos(hwnd_, HWND_TOPMOST, left, top, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(hwnd_, nullptr, TRUE);
  showing_ = true;
  SetTimer(hwnd_, kHideTimer, hidePauseMs_, nullptr);
  SetTimer(hwnd_, kLeaveTimer, kLeaveCheckMs, nullptr);
}

void THintWindow::Hide() {
  if (!hwnd_) return;
  KillTimer(hwnd_, kHideTimer);
  KillTimer(hwnd_, kLeaveTimer);
  if (showing_) ShowWindow(hwnd_, SW_HIDE);
  showing_ = false;
}

void THintWindow::Cancel() {
  Hide();
  if (hwnd_) KillTimer(hwnd_, kShowTimer);
  current_ = -1;
}

bool THintWindow::HandleCreated() {
  if (hwnd_ || creationFailed_) return hwnd_ != nullptr;
  // Hints are a help, not a function: without their window there are none,
  // rather than an error at a mouse move.
  try {
    CreateHandle();
  } catch (const std::exception&) {
    creationFailed_ = true;
  }
  return hwnd_ != nullptr;
}

void THintWindow::CreateHandle() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font_.CreateIndirect(metrics.lfStatusFont);
  else
    font_.Create("MS Sans Serif", -11);

  WNDCLASSEXA windowClass{};
  windowClass.style = CS_SAVEBITS;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
  windowClass.lpszClassName = QUILBO_HINT_WINDOW_CLASS;
  RegisterWindowClass(windowClass, &WindowThunk<THintWindow>);
  // Owned by the form: above it, hidden with it, never in the task bar.
  if (!CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, QUILBO_HINT_WINDOW_CLASS, "",
                       WS_POPUP | WS_BORDER, 0, 0, 0, 0, form_, nullptr, GetModuleHandleA(nullptr), this))
    throw std::runtime_error("Cannot create the hint window");
}

void THintWindow::Paint() {
  const PaintSession paint(hwnd_);
  RECT area;
  GetClientRect(hwnd_, &area);
  InflateRect(&area, -kMarginX, -kMarginY);
  const HGDIOBJ oldFont = SelectObject(paint.Dc(), font_.Handle());
  SetBkMode(paint.Dc(), TRANSPARENT);
  SetTextColor(paint.Dc(), GetSysColor(COLOR_INFOTEXT));
  DrawTextA(paint.Dc(), text_.c_str(), -1, &area, DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
  SelectObject(paint.Dc(), oldFont);
}

LRESULT THintWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kShowTimer) {
        KillTimer(hwnd_, kShowTimer);
        if (RestsOn(current_))
          Show();
        else
          current_ = -1;
      } else if (wParam == kLeaveTimer) {
        if (!RestsOn(current_)) Cancel();
      } else if (wParam == kHideTimer) {
        Hide();  // the control stays current: its hint comes back only after leaving it
      }
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // the mouse goes through to what lies below
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    default:
      return DefWindowProcA(hwnd_, message, wParam, lParam);
  }
}

}  // namespace quilbo
