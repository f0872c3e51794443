#pragma once
// The hint window of a form: the short part of a control's hint in a small box
// on the info colours, just below the mouse pointer. It appears when the mouse
// has rested on a control for a while, at once when the mouse moves on to
// another control while one shows, and goes after a while or at a click or a
// key. The controls' areas are the tools, so a disabled control (whose mouse
// goes to the form) has its hint too; the form's message loop hands over the
// mouse and keyboard messages of the form and its controls. The window itself
// is made the first time the mouse rests on a control.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/window.h"

namespace quilbo {

class THintWindow : public TWindow {
 public:
  void Attach(HWND form, UINT pauseMs, UINT hidePauseMs);
  void AddTool(const TControl& control, std::string text);
  void SetActive(bool active);
  // A message the loop is about to dispatch to the form or one of its controls
  // (the loop hands over no other).
  void Relay(const MSG& message);

 private:
  struct Tool {
    RECT area;  // in the form's client coordinates
    std::string text;
  };

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void MouseAt(POINT screenPoint);
  int ToolAt(POINT screenPoint) const;
  // The mouse is on the tool, over the form or one of its controls.
  bool RestsOn(int tool) const;
  void Show();
  void Hide();
  void Cancel();
  // Makes the window the first time it is needed; false if it cannot be made.
  bool HandleCreated();
  void CreateHandle();
  void Paint();

  HWND form_ = nullptr;
  UINT pauseMs_ = 0;
  UINT hidePauseMs_ = 0;
  bool active_ = false;
  std::vector<Tool> tools_;
  int current_ = -1;  // the tool under the mouse
  bool showing_ = false;
  bool creationFailed_ = false;
  std::string text_;  // the hint showing
  TFont font_;

  template <class T>
  friend LRESULT CALLBACK WindowThunk(HWND, UINT, WPARAM, LPARAM);
};

}  // namespace quilbo
