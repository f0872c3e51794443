#include "win/window.h"

#include <stdexcept>
#include <string>

namespace quilbo {

namespace {

ErrorDisplay errorDisplay = nullptr;

void Register(const WindowClass& own, WNDPROC procedure) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance, own.name, &existing)) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = own.style;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = own.icon;
  windowClass.hIconSm = own.icon;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = own.background;
  windowClass.lpszClassName = own.name;
  if (!RegisterClassExA(&windowClass))
    throw std::runtime_error(std::string("Cannot register the window class ") + own.name);
}

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
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);  // WM_NCDESTROY clears hwnd_ when attached
  hwnd_ = nullptr;
}

void TWindow::Create(const CreateArgs& args) {
  if (args.ownClass) Register(*args.ownClass, &Procedure);
  const char* className = args.ownClass ? args.ownClass->name : args.systemClass;
  const HWND hwnd = CreateWindowExA(args.exStyle, className, args.text, args.style, args.left, args.top,
                                    args.width, args.height, args.parent, args.menu,
                                    GetModuleHandleA(nullptr), args.ownClass ? this : nullptr);
  if (!hwnd) throw std::runtime_error(std::string("Cannot create a window of class ") + className);
  hwnd_ = hwnd;  // an own class's window has been attached at WM_NCCREATE already
  if (!args.ownClass && args.takeOver) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    systemProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
  }
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultProc(message, wParam, lParam);
}

LRESULT TWindow::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return systemProc_ ? CallWindowProcA(systemProc_, hwnd_, message, wParam, lParam)
                     : DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  TWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    if (self) self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // Detached first: the object may be going away with its window.
    const WNDPROC systemProc = self->systemProc_;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    if (systemProc) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(systemProc));
    self->hwnd_ = nullptr;
    self->systemProc_ = nullptr;
    return systemProc ? CallWindowProcA(systemProc, hwnd, message, wParam, lParam)
                      : DefWindowProcA(hwnd, message, wParam, lParam);
  }
  return Guarded([&] { return self->HandleMessage(message, wParam, lParam); });
}

}  // namespace quilbo
