#include "ui/status_bar.h"

#include "ui/control_ids.h"
#include "win/device_context.h"
#include "win/dpi.h"
#include "win/window.h"

namespace quilbo {
namespace {

// The size grip in the bar's bottom-right corner, the size of a scroll bar's corner.
RECT GripRect(HWND bar) {
  RECT area;
  GetClientRect(bar, &area);
  const int dpi = WindowDpi(bar);
  area.left = area.right - SystemMetricForDpi(SM_CXVSCROLL, dpi);
  area.top = area.bottom - SystemMetricForDpi(SM_CYHSCROLL, dpi);
  return area;
}

}  // namespace

void TStatusBar::Create(const ControlArgs& args) {
  // Painted whole at a new size (another DPI): the grip drawn at the old
  // corner must not stay.
  static const WindowClass kClass{QUILBO_STATUS_BAR_CLASS, CS_HREDRAW | CS_VREDRAW,
                                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)};
  ControlArgs bar = args;
  bar.text = "";
  bar.font = nullptr;
  CreateChild(bar, {.ownClass = &kClass});
}

bool TStatusBar::OnGrip(POINT screenPoint) const {
  ScreenToClient(hwnd_, &screenPoint);
  const RECT grip = GripRect(hwnd_);
  return PtInRect(&grip, screenPoint) != FALSE;
}

LRESULT TStatusBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      const PaintSession paint(hwnd_);
      RECT grip = GripRect(hwnd_);
      DrawFrameControl(paint.Dc(), &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
      return 0;
    }
    case WM_NCHITTEST: {
      // Over the grip the form answers, as the corner of its sizing border.
      POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      ScreenToClient(hwnd_, &point);
      const RECT grip = GripRect(hwnd_);
      if (PtInRect(&grip, point)) return HTTRANSPARENT;
      return HTCLIENT;
    }
    default:
      return DefaultProc(message, wParam, lParam);
  }
}

}  // namespace quilbo
