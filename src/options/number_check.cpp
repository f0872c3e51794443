#include "options/number_check.h"

#include "options/integer_text.h"
#include "options/message_quote.h"

namespace quilbo {
namespace {

std::optional<std::string> Check(const char* option, const std::string& text) {
  if (ParseIntegerText(text)) return std::nullopt;
  return std::string(option) + " " + QuotedForMessage(text, '"') + " is not a whole number";
}

}  // namespace

std::optional<std::string> UnconvertedNumberMessage(const TNumberTexts& texts) {
  std::optional<std::string> message;
  switch (texts.mode) {
    case TAmplifyMode::amRatio: message = Check("Ratio", texts.ratio); break;
    case TAmplifyMode::amLevel: message = Check("Level", texts.level); break;
    case TAmplifyMode::amPercent: message = Check("Percent", texts.percent); break;
  }
  if (!message && texts.bufferSizeEnabled) message = Check("Buffer size", texts.bufferSize);
  if (!message && texts.abortEnabled) message = Check("Abort level", texts.abortLevel);
  return message;
}

}  // namespace quilbo
