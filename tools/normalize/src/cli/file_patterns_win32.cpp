#include "cli/file_patterns.h"

#include <windows.h>

#include <algorithm>
#include <memory>

namespace normalize {
namespace {

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

}  // namespace

std::vector<std::string> ExpandFilePattern(const std::string& pattern) {
  const std::size_t name_start = pattern.find_last_of("\\/:");
  if (pattern.find_first_of("*?", name_start == std::string::npos ? 0 : name_start + 1) == std::string::npos) {
    return {pattern};
  }
  // The manifest makes the ...A calls take and give UTF-8.
  WIN32_FIND_DATAA found;
  const FindHandle find(FindFirstFileA(pattern.c_str(), &found));
  if (find.get() == INVALID_HANDLE_VALUE) return {};
  const std::string folder = name_start == std::string::npos ? "" : pattern.substr(0, name_start + 1);
  std::vector<std::string> files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(folder + found.cFileName);
  } while (FindNextFileA(find.get(), &found));
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace normalize
