#include "options/dropped_file.h"

#include "options/message_quote.h"

namespace quilbo {

bool EndsInWav(std::string_view path) {
  const std::size_t dot = path.find_last_of(".\\/:");
  if (dot == std::string_view::npos || path[dot] != '.') return false;
  const std::string_view extension = path.substr(dot + 1);
  if (extension.size() != 3) return false;
  constexpr char kWav[] = "wav";
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = extension[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kWav[i]) return false;
  }
  return true;
}

TDropRefusal JudgeDroppedFile(std::string_view path, bool isFolder, bool folderHasWav) {
  if (path.size() > kMaxInputPathBytes) return TDropRefusal::TooLong;
  if (isFolder) return folderHasWav ? TDropRefusal::None : TDropRefusal::Folder;
  if (!EndsInWav(path)) return TDropRefusal::NotWave;
  return TDropRefusal::None;
}

std::string DropRefusalMessage(TDropRefusal refusal, std::string_view path, std::size_t pathCharacters) {
  const std::string quoted = QuotedPathForMessage(path, pathCharacters, '"');
  switch (refusal) {
    case TDropRefusal::None: return {};
    case TDropRefusal::Folder:
      return quoted + " is a folder with no WAV file (.wav) in it; drop a WAV file, or a folder that holds "
                      "some, to make it the input";
    case TDropRefusal::NotWave:
      return quoted + " is not a WAV file; only a file ending in .wav can be the input";
    case TDropRefusal::TooLong:
      return "The dropped file's path is longer than the " + std::to_string(kMaxInputPathBytes) +
             " bytes an input path can have";
  }
  return {};
}

}  // namespace quilbo
