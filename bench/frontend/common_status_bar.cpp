// The main window's status bar as the common control (STATUSCLASSNAME with a
// size grip), in place of src/ui/status_bar.cpp, for bench_quilbo_common_status_bar:
// what the front end's start-up would cost with it. comctl32 is imported and
// initialised at start-up, as a program using the control must.
#include <windows.h>
#include <commctrl.h>

#include <stdexcept>

#include "ui/status_bar.h"

namespace quilbo {

void TStatusBar::Create(const ControlArgs& args) {
  const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  ControlArgs bar = args;
  bar.text = "";
  bar.font = nullptr;
  CreateChild(bar, {.systemClass = STATUSCLASSNAMEA, .style = SBARS_SIZEGRIP | CCS_NOPARENTALIGN | CCS_NORESIZE});
}

// The control answers over its grip by itself.
bool TStatusBar::OnGrip(POINT) const { return false; }

LRESULT TStatusBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultProc(message, wParam, lParam);
}

}  // namespace quilbo
