#include "win/dpi.h"

#include "layout/dpi_scale.h"
#include "win/device_context.h"

namespace quilbo {
namespace {

// A function of user32 that older systems lack: null there. user32 is loaded
// already, so looking it up costs nothing at start-up.
template <typename Function>
Function User32Function(const char* name) {
  const FARPROC address = GetProcAddress(GetModuleHandleA("user32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

int SystemDpi() {
  const WindowDc screen(nullptr);
  const int dpi = screen.Dc() ? GetDeviceCaps(screen.Dc(), LOGPIXELSY) : kDesignDpi;
  return dpi > 0 ? dpi : kDesignDpi;
}

}  // namespace

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow && hwnd ? getDpiForWindow(hwnd) : 0;
  return dpi ? static_cast<int>(dpi) : SystemDpi();
}

SIZE FrameSize(DWORD style, DWORD exStyle, bool menu, int dpi) {
  using AdjustFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = User32Function<AdjustFunction>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, 0, 0};
  if (!adjust || !adjust(&frame, style, menu ? TRUE : FALSE, exStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&frame, style, menu ? TRUE : FALSE, exStyle);
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

int SystemMetricForDpi(int index, int dpi) {
  using MetricFunction = int(WINAPI*)(int, UINT);
  static const auto metric = User32Function<MetricFunction>("GetSystemMetricsForDpi");
  return metric ? metric(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

}  // namespace quilbo
