#include "platform/file_identity.h"

#include <sstream>

namespace normalize::platform {

std::string FileIdentity::Text() const {
  return file + ":" + std::to_string(size) + ":" + std::to_string(modified);
}

std::optional<FileIdentity> FileIdentity::FromText(const std::string& text) {
  // The file part holds one colon of its own.
  const auto last = text.rfind(':');
  const auto middle = last == std::string::npos || last == 0 ? std::string::npos : text.rfind(':', last - 1);
  if (middle == std::string::npos || text.find(':') == middle) return std::nullopt;
  FileIdentity identity;
  identity.file = text.substr(0, middle);
  std::istringstream size(text.substr(middle + 1, last - middle - 1));
  std::istringstream modified(text.substr(last + 1));
  if (!(size >> identity.size) || !size.eof() || !(modified >> identity.modified) || !modified.eof()) {
    return std::nullopt;
  }
  return identity;
}

}  // namespace normalize::platform
