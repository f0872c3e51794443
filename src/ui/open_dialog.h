#pragma once
// TOpenDialog: the main window's one open-file dialog, shared by both pickers.
// It remembers the file and the filter of its last OK.
#include <windows.h>

#include <string>

namespace quilbo {

class TOpenDialog {
 public:
  // Runs the system dialog, owned by `owner` and centred on the monitor of
  // `centreOn`; true on OK.
  bool Execute(HWND owner, HWND centreOn);

  // The file of the last OK.
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  int filterIndex_ = 1;
};

}  // namespace quilbo
