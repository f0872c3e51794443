#include "win/open_file_dialog.h"

#include <cderr.h>
#include <commdlg.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "win/com_apartment.h"
#include "win/library.h"

namespace quilbo {
namespace {

// MAX_PATH characters of up to four bytes each in the active code page, and the zero.
constexpr DWORD kFileNameSize = 4 * MAX_PATH + 1;
constexpr char kTooLong[] = "The chosen file's path is too long (more than 1040 bytes)";

// Once the dialog has its final size, it goes to the horizontal centre of the
// requested window's monitor, one third down, measured on the monitor's full area.
// The hook's window is a child of the dialog.
UINT_PTR CALLBACK CentringHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* request = reinterpret_cast<const OPENFILENAMEA*>(lParam);
    SetWindowLongPtrA(hook, DWLP_USER, static_cast<LONG_PTR>(request->lCustData));
    return 0;
  }
  if (message != WM_NOTIFY) return 0;
  const auto* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
  if (notify->hdr.code != CDN_INITDONE) return 0;
  const HWND dialog = GetParent(hook);
  const HWND centreOn = reinterpret_cast<HWND>(GetWindowLongPtrA(hook, DWLP_USER));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromWindow(centreOn, MONITOR_DEFAULTTONEAREST), &monitor)) return 0;
  RECT box{};
  GetWindowRect(dialog, &box);
  const RECT& area = monitor.rcMonitor;
  const int left = area.left + ((area.right - area.left) - (box.right - box.left)) / 2;
  const int top = area.top + ((area.bottom - area.top) - (box.bottom - box.top)) / 3;
  SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

}  // namespace

std::optional<std::string> RunOpenFileDialog(OpenFileRequest& request) {
  char fileName[kFileNameSize] = {};
  std::strncpy(fileName, request.fileName.c_str(), kFileNameSize - 1);

  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = request.owner;
  dialog.lpstrFilter = request.filter;
  dialog.nFilterIndex = request.filterIndex;
  dialog.lpstrFile = fileName;
  dialog.nMaxFile = kFileNameSize;
  dialog.lpstrInitialDir = "";
  dialog.Flags = OFN_ENABLEHOOK | request.flags;
  dialog.lpfnHook = &CentringHook;
  dialog.lCustData = reinterpret_cast<LPARAM>(request.centreOn);

  static const auto getOpenFileName =
      SystemFunction<decltype(&GetOpenFileNameA)>("comdlg32.dll", "GetOpenFileNameA");
  static const auto extendedError =
      SystemFunction<decltype(&CommDlgExtendedError)>("comdlg32.dll", "CommDlgExtendedError");
  const ComApartment com;  // the dialog shows the shell's namespace
  if (!getOpenFileName(&dialog)) {
    if (extendedError() == FNERR_BUFFERTOOSMALL) throw std::runtime_error(kTooLong);
    return std::nullopt;
  }
  // Read no further than the buffer: a dialog may fill it without a zero.
  const std::size_t length = strnlen(fileName, kFileNameSize);
  if (length == kFileNameSize) throw std::runtime_error(kTooLong);
  request.filterIndex = dialog.nFilterIndex;
  return std::string(fileName, length);
}

}  // namespace quilbo
