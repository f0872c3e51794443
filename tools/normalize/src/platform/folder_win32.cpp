#include "platform/folder.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/paths.h"
#include "platform/win32_shared.h"

namespace normalize::platform {
namespace {

struct FindCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};
// Holds only a valid search: FindClose must never see INVALID_HANDLE_VALUE.
using SearchHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

std::string Joined(const std::string& folder, const std::string& name) {
  const bool ends_in_separator = !folder.empty() && std::strchr(kPathSeparators, folder.back());
  return ends_in_separator ? folder + name : folder + "\\" + name;
}

}  // namespace

// Nothing is held open between listings: Windows paths are walked by name.
Folder::Folder(const std::string& path) : handle_(0), path_(path) {}

Folder::Folder(const Folder& parent, const std::string& name)
    : handle_(parent.handle_), path_(Joined(parent.path_, name)), error_(parent.error_) {}

Folder::~Folder() = default;

bool Folder::List(std::vector<FolderEntry>& entries) {
  if (handle_ < 0) return false;
  // The manifest makes the ...A calls take and give UTF-8.
  WIN32_FIND_DATAA found{};
  const HANDLE first = FindFirstFileA(Joined(path_, "*").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // A folder with nothing in it, not even "." (a drive's root).
    if (code == ERROR_FILE_NOT_FOUND) return true;
    error_ = SystemMessage(code);
    return false;
  }
  const SearchHandle search(first);
  do {
    if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
    FolderEntry entry;
    entry.name = found.cFileName;
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back(std::move(entry));
  } while (FindNextFileA(search.get(), &found));
  const DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) {
    error_ = SystemMessage(code);
    return false;
  }
  return true;
}

// The system's own error names a path it cannot take when it is opened.
bool MakeFolder(const std::string& path, std::string& error) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD made_error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (made_error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return true;
  }
  error = SystemMessage(made_error);
  return false;
}

bool FitsInOnePath(const std::string&) { return true; }

}  // namespace normalize::platform
