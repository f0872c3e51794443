#include "options/range_rules.h"

#include "options/integer_text.h"

namespace quilbo {

std::int32_t ClampToRange(RangeLimits limits, std::int64_t value) {
  if (value < limits.minimum) return limits.minimum;
  if (value > limits.maximum) return limits.maximum;
  return static_cast<std::int32_t>(value);
}

std::int32_t ReadRangeValue(RangeLimits limits, std::string_view text) {
  return ParseIntegerText(text).value_or(limits.minimum);
}

std::string RangeValueText(RangeLimits limits, std::int64_t value) {
  return DecimalText(ClampToRange(limits, value));
}

std::string SteppedRangeText(RangeLimits limits, std::string_view text, int direction) {
  const std::int64_t current = ReadRangeValue(limits, text);
  return RangeValueText(limits, current + (direction >= 0 ? 1 : -1));
}

std::optional<std::string> RangeTextOnFocusLoss(RangeLimits limits, std::string_view text) {
  const std::int32_t value = ReadRangeValue(limits, text);
  if (ClampToRange(limits, value) == value) return std::nullopt;
  return RangeValueText(limits, value);
}

bool IsAcceptedRangeChar(char typed, char decimalSeparator) {
  const auto code = static_cast<unsigned char>(typed);
  if (code == 13) return false;
  if (code < 32) return true;
  return typed == '+' || typed == '-' || (typed >= '0' && typed <= '9') ||
         typed == decimalSeparator;
}

}  // namespace quilbo
