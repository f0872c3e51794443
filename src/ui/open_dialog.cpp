#include "ui/open_dialog.h"

#include <commdlg.h>

#include "win/open_file_dialog.h"

namespace quilbo {
namespace {

constexpr char kFilter[] = "Wave Files!\0*.wav\0The Rest!\0*.*\0";

}  // namespace

bool TOpenDialog::Execute(HWND owner, HWND centreOn) {
  OpenFileRequest request;
  request.owner = owner;
  request.centreOn = centreOn;
  request.filter = kFilter;
  request.filterIndex = static_cast<DWORD>(filterIndex_);
  request.fileName = fileName_;
  request.flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
  const std::optional<std::string> chosen = RunOpenFileDialog(request);
  // A cancel remembers nothing.
  if (!chosen) return false;
  fileName_ = *chosen;
  filterIndex_ = static_cast<int>(request.filterIndex);
  return true;
}

}  // namespace quilbo
