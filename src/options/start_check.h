#pragma once
// The checks before the tool starts, beyond the numbers converting: a start
// that would destroy the audio or write to a file nobody chose is refused.
#include <optional>
#include <string>

#include "options/number_check.h"

namespace quilbo {

// The output field's text until a file is chosen.
inline constexpr char kOutputPlaceholder[] = "Select Output File!";

// The message for the first reason not to start, in the order of the parameter
// string (a number that does not convert, a ratio of 0, an output that is still
// the placeholder); nothing when the start may go ahead.
std::optional<std::string> StartRefusal(const TNumberTexts& numbers, bool outputEnabled,
                                        const std::string& outputPath);

}  // namespace quilbo
