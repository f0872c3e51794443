#pragma once
// TRangeField: the numeric option field, a one-line edit with a pair of
// up/down arrow buttons inside its right edge. Reads without clamping, sets
// with clamping (the rules live in options/range_rules.h).
#include <windows.h>

#include <cstdint>
#include <string>

#include "options/range_rules.h"

namespace quilbo {

class TRangeField {
 public:
  TRangeField(RangeLimits limits, std::int32_t initialValue);
  TRangeField(const TRangeField&) = delete;
  TRangeField& operator=(const TRangeField&) = delete;

  // Creates the edit (child `id` of `parent`, a tab stop) with its arrow buttons.
  void Create(HWND parent, int id, RECT bounds, HFONT font);

  HWND Handle() const { return edit_; }
  RangeLimits Limits() const { return limits_; }

  std::string Text() const;
  void SetText(const std::string& text);

  std::int32_t Value() const;         // the read rule: minimum when the text does not convert
  void SetValue(std::int64_t value);  // the text becomes the clamped value

 private:
  RangeLimits limits_;
  std::int32_t initialValue_;
  HWND edit_ = nullptr;
  HWND buttons_ = nullptr;
  WNDPROC originalEditProc_ = nullptr;
  // Further state of the control (arrow-button press, repeat timer, ...) goes here.
};

}  // namespace quilbo
