#include "ui/range_field.h"

#include <stdexcept>
#include <vector>

namespace quilbo {

TRangeField::TRangeField(RangeLimits limits, std::int32_t initialValue)
    : limits_(limits), initialValue_(initialValue) {}

void TRangeField::Create(HWND parent, int id, RECT bounds, HFONT font) {
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
  edit_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", RangeValueText(limits_, initialValue_).c_str(),
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, bounds.left,
                          bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (!edit_) throw std::runtime_error("Cannot create a numeric field");
  SendMessageA(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageA(edit_, EM_LIMITTEXT, 0, 0);
}

std::string TRangeField::Text() const {
  const int length = GetWindowTextLengthA(edit_);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(edit_, buffer.data(), length + 1);
  return std::string(buffer.data());
}

void TRangeField::SetText(const std::string& text) { SetWindowTextA(edit_, text.c_str()); }

std::int32_t TRangeField::Value() const { return ReadRangeValue(limits_, Text()); }

void TRangeField::SetValue(std::int64_t value) { SetText(RangeValueText(limits_, value)); }

}  // namespace quilbo
