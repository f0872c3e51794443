#pragma once
// TForm2, the About box: created hidden at start-up, shown modally, hidden
// again (never destroyed) so it keeps its position and any edit to its text.
#include <windows.h>

#include "win/controls.h"
#include "ui/form.h"
#include "win/library.h"

namespace quilbo {

class TForm2 : public TForm {
 public:
  static constexpr int mrCancel = 2;

  TForm2() = default;
  ~TForm2() override;

  void Create();
  // Shows the box, disables the other forms and runs the message loop, idle
  // passes included, until the box closes; returns the modal result.
  int ShowModal();

  TLibrary RichEditLibrary;  // loaded with the text box (first shown), freed after it
  TPushButton Button1;
  TRichEdit RichEdit1;

  void Button1Click();

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The laid-out first place at `dpi`.
  RECT PlaceAtDpi(int dpi) const override;
  void CreateText();
  void FitOnMainMonitor();

  int modalResult_ = 0;
  bool shownBefore_ = false;
};

}  // namespace quilbo
