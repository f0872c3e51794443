#pragma once
// TForm2, the About box: created hidden at start-up, shown modally, hidden
// again (never destroyed) so it keeps its position and any edit to its text.
#include <windows.h>

#include "ui/controls.h"
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
  TFont Font;
  TPushButton Button1;
  TRichEdit RichEdit1;

  void Button1Click();

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateText();
  void FitOnMainMonitor();
  // The box, its controls and font made for `dpi`; in `outer` when given,
  // else at the laid-out first place.
  void ChangeDpi(int dpi, const RECT* outer);

  int modalResult_ = 0;
  int dpi_ = kDesignDpi;
  bool shownBefore_ = false;

  template <class T>
  friend LRESULT CALLBACK WindowThunk(HWND, UINT, WPARAM, LPARAM);
};

}  // namespace quilbo
