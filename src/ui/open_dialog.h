#pragma once
// TOpenDialog: the main window's one open-file dialog, shared by both pickers.
// It remembers the file and the filter of its last OK.
#include <windows.h>

#include <string>
#include <vector>

namespace quilbo {

class TOpenDialog {
 public:
  // Runs the system dialog, owned by `owner` and centred on the monitor of
  // `centreOn`; true on OK.
  bool Execute(HWND owner, HWND centreOn);

  const std::vector<std::string>& Files() const { return files_; }

 private:
  std::string fileName_;
  std::vector<std::string> files_;
  int filterIndex_ = 1;
};

}  // namespace quilbo
