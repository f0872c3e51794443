#include "ui/app_text.h"

namespace quilbo {

std::string ApplicationTitle(std::string_view executablePath) {
  const auto slash = executablePath.find_last_of("\\/:");
  std::string_view name =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title(name);
  // Only ASCII letters change case: the bytes of other letters depend on the code page.
  for (std::size_t i = 1; i < title.size(); ++i)
    if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
  return title;
}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

std::string ShortHint(std::string_view hint) { return std::string(hint.substr(0, hint.find('|'))); }

}  // namespace quilbo
