#pragma once
// The rules of a numeric option field, apart from any window: how its text
// reads, how a set value is clamped, how a step and leaving the field change it,
// and which typed characters it takes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quilbo {

struct RangeLimits {
  std::int32_t minimum;
  std::int32_t maximum;
};

std::int32_t ClampToRange(RangeLimits limits, std::int64_t value);

// The text by the integer text rule; the minimum when it does not convert.
// Never clamped: out-of-range text reads as typed.
std::int32_t ReadRangeValue(RangeLimits limits, std::string_view text);

// The text a field shows after its value is set to `value`.
std::string RangeValueText(RangeLimits limits, std::int64_t value);

// The text after one step up (+1) or down (-1). The sum is formed without
// overflow, so a step up never lowers the value.
std::string SteppedRangeText(RangeLimits limits, std::string_view text, int direction);

// The text to put in place when the field loses the focus, or nothing when the
// text stays (in range, or not a number at all).
std::optional<std::string> RangeTextOnFocusLoss(RangeLimits limits, std::string_view text);

// Typed characters a field accepts: "+", "-", digits, the locale's decimal
// separator and control characters other than Enter.
bool IsAcceptedRangeChar(char typed, char decimalSeparator);

}  // namespace quilbo
