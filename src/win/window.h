#pragma once
// The base of a window object: the handle, one static thunk per window class
// that stores the object at WM_NCCREATE and hands each message to the object's
// HandleMessage, one thunk for a system control the object has subclassed, and
// the one exception boundary every call from Windows goes through.
#include <windows.h>

#include <string>
#include <type_traits>

namespace quilbo {

// Where the exception boundary shows what reached it: the program's error
// display, installed at start-up. Without one, a plain message box.
using ErrorDisplay = void (*)(const std::string& message);
void SetErrorDisplay(ErrorDisplay display);

// Inside a catch: shows the exception being handled through the error display
// ("Unknown error" for one that is not a std::exception).
void ShowCurrentException() noexcept;

// The one exception boundary, where Windows calls the program (window and
// subclass procedures, the idle handler, a form's creation handler): what
// `handler` returns, or a zero value once its exception has been shown.
// Nothing escapes into Windows.
template <class Handler>
auto Guarded(Handler&& handler) noexcept -> decltype(handler()) {
  using Result = decltype(handler());
  try {
    return handler();
  } catch (...) {
    ShowCurrentException();
  }
  if constexpr (!std::is_void_v<Result>) return Result{};
}

class TWindow {
 public:
  TWindow() = default;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  virtual ~TWindow();

  HWND Handle() const { return hwnd_; }

 protected:
  // Destroys the window early; the destructor does it otherwise.
  void DestroyHandle();

  HWND hwnd_ = nullptr;

  template <class T>
  friend LRESULT CALLBACK WindowThunk(HWND, UINT, WPARAM, LPARAM);
};

// Registers `windowClass` (its lpfnWndProc is set here) once per process; no
// instance means this program's, no cursor the arrow.
void RegisterWindowClass(WNDCLASSEXA windowClass, WNDPROC thunk);

template <class T>
LRESULT CALLBACK WindowThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  T* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<T*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    static_cast<TWindow*>(self)->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    static_cast<TWindow*>(self)->hwnd_ = nullptr;
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  return Guarded([&] { return self->HandleMessage(message, wParam, lParam); });
}

// A window of a system class that `self` takes over: its messages go to
// self->HandleMessage (through SubclassThunk<T>), which passes on what it does
// not handle itself to the returned original procedure.
WNDPROC Subclass(HWND hwnd, void* self, WNDPROC thunk);
// Gives the window back its original procedure (at WM_NCDESTROY at the latest).
void Unsubclass(HWND hwnd, WNDPROC original);

template <class T>
LRESULT CALLBACK SubclassThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  T* self = reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
  return Guarded([&] { return self->HandleMessage(message, wParam, lParam); });
}

}  // namespace quilbo
