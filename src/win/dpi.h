#pragma once
// The DPI a window is shown at, and the system's frame at a DPI. The per-monitor
// functions exist from Windows 10 on; before that the system DPI holds for
// every window, and the frame does not depend on it.
#include <windows.h>

namespace quilbo {

// The window's DPI: that of its monitor for this per-monitor aware program.
int WindowDpi(HWND hwnd);

// The width and height a window's frame (borders, caption, and a one-line menu
// bar when `menu`) adds to its client area at `dpi`.
SIZE FrameSize(DWORD style, DWORD exStyle, bool menu, int dpi);

// GetSystemMetrics for `dpi` (the system DPI's value where Windows cannot say).
int SystemMetricForDpi(int index, int dpi);

}  // namespace quilbo
