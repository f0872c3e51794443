#pragma once
// The system's open-file dialog (GetOpenFileNameA, comdlg32 loaded at the
// first use), moved once laid out to the horizontal centre of a monitor, one
// third down.
#include <windows.h>

#include <optional>
#include <string>

namespace quilbo {

struct OpenFileRequest {
  HWND owner = nullptr;
  HWND centreOn = nullptr;      // the window whose monitor the dialog goes to
  const char* filter = nullptr;  // pairs of zero-terminated texts, ended by another zero
  DWORD filterIndex = 1;         // the filter to start on; at OK, the one in use then
  std::string fileName;          // the name the dialog starts with
  DWORD flags = 0;               // OFN_ flags besides OFN_ENABLEHOOK, which the centring adds
};

// The chosen full path, or nothing when the user cancels (or the dialog fails
// otherwise). Throws when the path does not fit MAX_PATH characters of up to
// four bytes each: it is refused openly, never taken cut.
std::optional<std::string> RunOpenFileDialog(OpenFileRequest& request);

}  // namespace quilbo
