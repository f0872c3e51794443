#pragma once
// The checks before the tool starts, beyond the numbers converting: a start
// that would destroy the audio or write to a file nobody chose is refused.
#include <optional>
#include <string>

#include "options/number_check.h"
#include "options/option_set.h"  // kOutputPlaceholder

namespace quilbo {

// The message for the first reason not to start, in the order of the parameter
// string (a number that does not convert, a ratio of 0, an output that is still
// the placeholder); nothing when the start may go ahead.
std::optional<std::string> StartRefusal(const TNumberTexts& numbers, bool outputEnabled,
                                        const std::string& outputPath);

}  // namespace quilbo
