#pragma once
// The base of every window of the program: the handle, and one static thunk per
// window class that stores the object at WM_NCCREATE and hands each message to
// the object's HandleMessage inside the one exception boundary of the dispatch.
#include <windows.h>

#include <exception>

namespace quilbo {

// Shows an exception through the application's error display (application.cpp).
void ShowException(const std::exception& error);
void ShowUnknownException();

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
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowUnknownException();
  }
  return 0;
}

}  // namespace quilbo
