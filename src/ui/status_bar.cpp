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

LRESULT CALLBACK StatusBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      const PaintSession paint(hwnd);
      RECT grip = GripRect(hwnd);
      DrawFrameControl(paint.Dc(), &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
      return 0;
    }
    case WM_NCHITTEST: {
      // Over the grip the form answers, as the corner of its sizing border.
      POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      ScreenToClient(hwnd, &point);
      const RECT grip = GripRect(hwnd);
      if (PtInRect(&grip, point)) return HTTRANSPARENT;
      return HTCLIENT;
    }
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace

void TStatusBar::Create(HWND parent, int id, Bounds bounds) {
  WNDCLASSEXA windowClass{};
  // Painted whole at a new size (another DPI): the grip drawn at the old
  // corner must not stay.
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = QUILBO_STATUS_BAR_CLASS;
  RegisterWindowClass(windowClass, &StatusBarProc);
  CreateControl(parent, id, QUILBO_STATUS_BAR_CLASS, "", 0, 0, bounds, nullptr);
}

bool TStatusBar::OnGrip(POINT screenPoint) const {
  ScreenToClient(hwnd_, &screenPoint);
  const RECT grip = GripRect(hwnd_);
  return PtInRect(&grip, screenPoint) != FALSE;
}

}  // namespace quilbo
