#pragma once
// The files of one drop (WM_DROPFILES), released with the drop. shell32 is
// loaded at the first drop, not at start-up.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace quilbo {

class TDroppedFiles {
 public:
  explicit TDroppedFiles(HDROP drop) : drop_(drop) {}
  TDroppedFiles(const TDroppedFiles&) = delete;
  TDroppedFiles& operator=(const TDroppedFiles&) = delete;
  ~TDroppedFiles();

  unsigned Count() const;
  // The full path of file `index`, whole however long, in the ANSI (UTF-8) code page.
  std::string Name(unsigned index) const;

 private:
  HDROP drop_;
};

// The names of the files (not folders) directly in `folder`.
std::vector<std::string> FileNamesIn(const std::string& folder);

}  // namespace quilbo
