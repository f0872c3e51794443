#pragma once
// TToolTip: a form's hints, shown by the system's tooltip control. The short
// part of a control's hint appears below the mouse pointer when the mouse has
// rested on the control, at once when it moves on to another control while one
// shows, and goes after a while, at a click or a key, or when the mouse leaves;
// it comes back only after the mouse has left the control.
// Each control is a tool twice: by its window, and by its area of the form,
// which is where the mouse of a disabled control goes. comctl32 and the tooltip
// window are loaded and made the first time the mouse comes onto such a
// control, not at start-up.
#include <windows.h>

#include <string>
#include <vector>

#include "win/controls.h"
#include "win/window.h"

namespace quilbo {

class TToolTip : public TWindow {
 public:

  void Attach(HWND form, UINT initialMs, UINT autoPopMs);
  void AddTool(const TControl& control, std::string text);
  // The controls were moved (laid out for another DPI): each tool's area
  // follows its control.
  void MoveTools();
  void SetActive(bool active);
  // A message the loop is about to dispatch to the form or one of its controls
  // (the loop hands over no other).
  void Relay(const MSG& message);
  // A WM_NOTIFY the form received: the tip showing or going.
  void Notify(const NMHDR& header);

 private:
  struct Tool {
    HWND control;
    RECT area;  // in the form's client coordinates
    std::string text;
  };

  static RECT AreaOf(HWND control, HWND form);
  // The tool the mouse message is over, or -1.
  int ToolAt(const MSG& message) const;
  // Makes the tooltip window the first time it is needed; false if it cannot be made.
  bool MakeWindow();
  // Sets one of the control's delays unless it is already `ms`.
  void SetDelay(WPARAM which, UINT ms, UINT& current);

  HWND form_ = nullptr;
  UINT initialMs_ = 0;
  UINT autoPopMs_ = 0;
  bool active_ = false;
  bool windowFailed_ = false;
  int current_ = -1;  // the tool the mouse was last seen on
  bool nextAtOnce_ = false;  // the mouse moved on from a showing tip
  int doneWith_ = -1;        // the tool whose tip has shown or was called off
  UINT initialNowMs_ = 0;  // the delays the control has now
  UINT reshowMs_ = 0;
  std::vector<Tool> tools_;
};

}  // namespace quilbo
