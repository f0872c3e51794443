#pragma once
// The base of every window object, forms and controls alike: the handle, one
// Create that registers the object's own class once, makes the window and
// attaches the object, one window procedure that hands each message to the
// object's HandleMessage, and the one exception boundary every call from
// Windows goes through.
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

// The one exception boundary, where Windows calls the program (the window
// procedure, the idle handler, a form's creation handler): what `handler`
// returns, or a zero value once its exception has been shown. Nothing
// escapes into Windows.
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

// A window class of the program's own, registered with the first window made of it.
struct WindowClass {
  const char* name = nullptr;
  UINT style = 0;
  HBRUSH background = nullptr;
  HICON icon = nullptr;
};

// What a window is made from: a class of its own (`ownClass`), whose messages
// all come to the object, or a system class (`systemClass`, "BUTTON"), whose
// messages come to it only when `takeOver` is set.
struct CreateArgs {
  const WindowClass* ownClass = nullptr;
  const char* systemClass = nullptr;
  bool takeOver = false;
  const char* text = "";
  DWORD style = 0;
  DWORD exStyle = 0;
  int left = 0, top = 0, width = 0, height = 0;
  HWND parent = nullptr;
  HMENU menu = nullptr;  // a child's id
};

class TWindow {
 public:
  TWindow() = default;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  virtual ~TWindow();

  HWND Handle() const { return hwnd_; }

 protected:
  // Throws when the window cannot be made.
  void Create(const CreateArgs& args);
  // Destroys the window early; the destructor does it otherwise.
  void DestroyHandle();

  // Every message of the window's own class, or of a system window taken over.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // What the window does with a message it leaves alone: its system class's
  // procedure when taken over, else DefWindowProc.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC systemProc_ = nullptr;  // the system class's procedure of a window taken over
};

}  // namespace quilbo
