#include "options/start_check.h"

#include "options/integer_text.h"

namespace quilbo {

std::optional<std::string> StartRefusal(const TNumberTexts& numbers, bool outputEnabled,
                                        const std::string& outputPath) {
  if (auto message = UnconvertedNumberMessage(numbers)) return message;
  // Every sample times 0: the tool we ship refuses it, another may not.
  if (numbers.mode == TAmplifyMode::amRatio && ParseIntegerText(numbers.ratio) == 0)
    return "A ratio of 0 would silence the file; choose another ratio.";
  if (outputEnabled && outputPath == kOutputPlaceholder)
    return "Choose an output file, or untick -o <file>.";
  return std::nullopt;
}

}  // namespace quilbo
