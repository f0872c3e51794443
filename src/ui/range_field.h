#pragma once
// TRangeField: the numeric option field, a one-line edit with a pair of
// up/down arrow buttons inside its right edge. Reads without clamping, sets
// with clamping (the rules live in options/range_rules.h).
#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "options/range_rules.h"

namespace quilbo {

class TRangeField {
 public:
  // Receives an exception that escaped one of the field's message handlers.
  using ErrorHandler = void (*)(const std::exception& error);

  TRangeField(RangeLimits limits, std::int32_t initialValue);
  TRangeField(const TRangeField&) = delete;
  TRangeField& operator=(const TRangeField&) = delete;
  ~TRangeField();

  // Creates the edit (child `id` of `parent`, a tab stop) with its arrow buttons.
  void Create(HWND parent, int id, RECT bounds, HFONT font);

  HWND Handle() const { return edit_; }
  HWND ButtonsHandle() const { return buttons_; }
  RangeLimits Limits() const { return limits_; }

  std::string Text() const;
  void SetText(const std::string& text);

  std::int32_t Value() const;         // the read rule: minimum when the text does not convert
  void SetValue(std::int64_t value);  // the text becomes the clamped value

  // One step up (+1) or down (-1) through the clamping setter.
  void Step(int direction);

  // Where the fields report exceptions; by default the application's error
  // display (ShowException).
  static void SetErrorHandler(ErrorHandler handler);

  // The arrow buttons' pixel width and the gap left before them.
  static constexpr int kButtonWidth = 15;
  static constexpr int kButtonGap = 2;

 private:
  enum class Arrow { none, up, down };

  static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ButtonsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static void ReportError(const std::exception& error);

  LRESULT HandleEditMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleButtonsMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT CallEdit(UINT message, WPARAM wParam, LPARAM lParam);
  void PasteFirstLine();
  LRESULT EditChar(WPARAM wParam, LPARAM lParam);
  LRESULT EditDialogCode(LPARAM lParam);
  void Layout();
  void DetachEdit();

  Arrow ArrowAt(POINT point) const;
  bool IsOverPressedArrow(POINT point) const;
  void PaintButtons(HDC dc) const;
  void PressArrow(Arrow arrow);
  void ReleaseArrow(bool step);
  void InvalidateButtons() const;

  RangeLimits limits_;
  std::string pendingText_;       // the text until the edit exists
  HWND edit_ = nullptr;
  HWND buttons_ = nullptr;
  WNDPROC originalEditProc_ = nullptr;
  bool focusByClick_ = false;     // a mouse click into the edit is giving it the focus
  Arrow pressed_ = Arrow::none;   // the arrow button held down, if any
  bool pressedShown_ = false;     // the mouse is over the held button, so it shows pushed
  bool repeating_ = false;        // the first auto-repeat delay has passed
};

}  // namespace quilbo
