#pragma once
// The check before the tool starts: a numeric field whose number the parameter
// string takes must hold text that converts. Composition shows such a field as
// its minimum, which is what the user sees, but starting the tool with it would
// process the file with a value nobody chose.
#include <optional>
#include <string>

#include "options/option_set.h"

namespace quilbo {

// The texts of the numeric fields, with what decides whether each is used.
struct TNumberTexts {
  TAmplifyMode mode = TAmplifyMode::amRatio;
  std::string ratio, level, percent;
  bool bufferSizeEnabled = false;
  std::string bufferSize;
  bool abortEnabled = false;
  std::string abortLevel;
};

// The message for the first used field whose text does not convert, in the
// order of the parameter string (Ratio "1.5" is not a whole number); nothing
// when every used field converts. Out-of-range numbers convert: they are
// composed, and started, as typed.
std::optional<std::string> UnconvertedNumberMessage(const TNumberTexts& texts);

}  // namespace quilbo
