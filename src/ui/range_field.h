#pragma once
// TRangeField: the numeric option field, a one-line edit with a pair of
// up/down arrow buttons inside its right edge. Reads without clamping, sets
// with clamping (the rules live in options/range_rules.h).
#include <windows.h>

#include <cstdint>
#include <string>

#include "options/range_rules.h"
#include "win/controls.h"
#include "win/window.h"

namespace quilbo {

class TRangeField;

// The arrow buttons of a field, one window inside the edit's right edge: its
// upper half steps up, its lower half down. A press takes the focus into the
// field; the step comes at the release over the pressed arrow, and while it
// is held, after a pause and then repeatedly.
class TArrowButtons : public TWindow {
 public:
  explicit TArrowButtons(TRangeField& field) : field_(field) {}
  void Create(HWND edit);
  // Along the right edge of the edit's client area, `width` wide.
  void Place(const RECT& editClient, int width);
  void Redraw() const;

 private:
  enum class Arrow { none, up, down };

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  Arrow ArrowAt(POINT point) const;
  void Paint(HDC dc) const;
  void Press(Arrow arrow);
  void Release(bool step);
  void Step(Arrow arrow);

  TRangeField& field_;
  Arrow pressed_ = Arrow::none;  // the arrow held down, if any
  bool pressedShown_ = false;    // the mouse is over the held arrow, so it shows pushed
  bool repeating_ = false;       // the first auto-repeat delay has passed
};

class TRangeField : public TControl {
 public:
  TRangeField(RangeLimits limits, std::int32_t initialValue);
  ~TRangeField() override;

  // The edit, a tab stop, with its arrow buttons; its text is the initial value's.
  void Create(const ControlArgs& args) override;

  // Setting the same text again would only move the caret to the start, so it is not done.
  void SetText(const std::string& text);
  std::int32_t Value() const;         // the read rule: minimum when the text does not convert
  void SetValue(std::int64_t value);  // the text becomes the clamped value
  // One step up (+1) or down (-1) through the clamping setter.
  void Step(int direction);
  // The DPI the arrow buttons are sized for; lays the field out again.
  void SetDpi(int dpi) override;

  // The arrow buttons' pixel width and the gap left before them, at 96 dpi.
  static constexpr int kButtonWidth = 15;
  static constexpr int kButtonGap = 2;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT EditChar(WPARAM wParam, LPARAM lParam);
  void Layout();

  RangeLimits limits_;
  std::int32_t initialValue_;
  bool focusByClick_ = false;   // a mouse click into the edit is giving it the focus
  int dpi_ = kDesignDpi;
  TArrowButtons buttons_{*this};
};

}  // namespace quilbo
