#pragma once
// Device contexts held for as long as an object lives: a WM_PAINT's, and a
// window's (or the screen's) for measuring outside of painting.
#include <windows.h>

namespace quilbo {

class PaintSession {
 public:
  explicit PaintSession(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd_, &paint_); }
  PaintSession(const PaintSession&) = delete;
  PaintSession& operator=(const PaintSession&) = delete;
  ~PaintSession() { EndPaint(hwnd_, &paint_); }
  HDC Dc() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}  // no window: the screen
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  HDC Dc() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

}  // namespace quilbo
