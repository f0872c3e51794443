#pragma once
// What the program's forms (the main window and the About box) share: the
// window laid out at 96 dpi and carried to any DPI with its controls and font,
// the keyboard rules ahead of dispatch (Tab navigation; Enter clicks only a
// focused push button; Escape does nothing), the hints fed with the mouse and
// the keys, and the focus kept across deactivation and disabling.
#include <windows.h>

#include <vector>

#include "layout/dpi_scale.h"
#include "ui/application.h"
#include "ui/tooltip.h"
#include "win/controls.h"
#include "win/gdi.h"
#include "win/window.h"

namespace quilbo {

class TForm : public TWindow, public AppForm {
 public:
  TForm();
  ~TForm() override;

  HWND FormWindow() const override { return hwnd_; }
  bool PreTranslateMessage(MSG& message) override;
  void SaveFocus() override;
  void RestoreFocus();

 protected:
  // The form's window, owned by the application window, laid out for the DPI
  // of the monitor it starts on.
  void CreateForm(const WindowClass& windowClass, const char* title, DWORD style, DWORD exStyle,
                  HMENU menu = nullptr);
  // Makes `control` from `args` (bounds at 96 dpi) at the form's DPI and in
  // its font, and keeps it laid out at every later DPI.
  void Lay(TControl& control, ControlArgs args);

  // The window, its controls and font made for `dpi`; in `outer` when given
  // (Windows' suggestion on a move to another monitor), else at PlaceAtDpi.
  void ChangeDpi(int dpi, const RECT* outer);
  // The outer rectangle the form takes at `dpi` when Windows suggests none.
  virtual RECT PlaceAtDpi(int dpi) const = 0;
  // What else the form carries to a new DPI, once its controls have been.
  virtual void DpiChanged() {}

  // The messages every form handles alike; anything else goes to DefWindowProc.
  LRESULT FormDefault(UINT message, WPARAM wParam, LPARAM lParam);

  int dpi_ = kDesignDpi;
  SIZE laidOutSize_{};  // the outer size ChangeDpi last gave the window
  TFont font_;          // made before the controls, released after them
  TToolTip* toolTip_ = nullptr;

 private:
  struct LaidControl {
    TControl* control;
    Bounds design;  // at 96 dpi
  };
  std::vector<LaidControl> layout_;
  HWND lastFocus_ = nullptr;
};

}  // namespace quilbo
