#pragma once
// What the program's forms (the main window and the About box) share: the
// keyboard rules ahead of dispatch (Tab navigation; Enter clicks only a focused
// push button; Escape does nothing), the hints fed with the mouse and the keys, and the
// focus kept across deactivation and disabling.
#include <windows.h>

#include "ui/tooltip.h"
#include "win/window.h"

namespace quilbo {

class TForm : public TWindow {
 public:
  TForm();
  ~TForm() override;

  // Called by the message loop for messages to this form or its controls;
  // true when the message has been dealt with.
  bool PreTranslateMessage(MSG& message);

  void SaveFocus();
  void RestoreFocus();

 protected:
  // The messages every form handles alike; anything else goes to DefWindowProc.
  LRESULT FormDefault(UINT message, WPARAM wParam, LPARAM lParam);

  TToolTip* toolTip_ = nullptr;

 private:
  HWND lastFocus_ = nullptr;
};

}  // namespace quilbo
