#include "win/window.h"

#include <stdexcept>
#include <string>

namespace quilbo {

namespace {

ErrorDisplay errorDisplay = nullptr;

}  // namespace

void SetErrorDisplay(ErrorDisplay display) { errorDisplay = display; }

void ShowCurrentException() noexcept {
  try {
    std::string message = "Unknown error";
    try {
      throw;
    } catch (const std::exception& error) {
      message = error.what();
    } catch (...) {
    }
    if (errorDisplay)
      errorDisplay(message);
    else
      MessageBoxA(nullptr, message.c_str(), nullptr, MB_OK | MB_ICONSTOP);
  } catch (...) {
    // Showing failed too (no memory left for the text): nothing more to do.
  }
}

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

WNDPROC Subclass(HWND hwnd, void* self, WNDPROC thunk) {
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  return reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thunk)));
}

void Unsubclass(HWND hwnd, WNDPROC original) {
  SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
}

}  // namespace quilbo
