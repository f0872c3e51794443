#include "ui/window.h"

#include <stdexcept>

namespace quilbo {

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::DestroyHandle() {
  if (hwnd_) DestroyWindow(hwnd_);  // WM_NCDESTROY clears hwnd_
  hwnd_ = nullptr;
}

void RegisterWindowClass(WNDCLASSEXA windowClass, WNDPROC thunk) {
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = thunk;
  if (!windowClass.hInstance) windowClass.hInstance = GetModuleHandleA(nullptr);
  if (!windowClass.hCursor) windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(windowClass.hInstance, windowClass.lpszClassName, &existing)) return;
  if (!RegisterClassExA(&windowClass))
    throw std::runtime_error(std::string("Cannot register the window class ") +
                             windowClass.lpszClassName);
}

}  // namespace quilbo
