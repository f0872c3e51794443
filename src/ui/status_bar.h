#pragma once
// TStatusBar: the main window's status bar, which shows nothing but its size grip.
#include <windows.h>

#include "win/controls.h"

namespace quilbo {

// A status bar without panels or text, with a size grip, drawn by itself: the
// window never writes to it, so it needs nothing of the common controls.
class TStatusBar : public TControl {
 public:
  void Create(const ControlArgs& args) override;
  // The point, in screen coordinates, is on the size grip.
  bool OnGrip(POINT screenPoint) const;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace quilbo
