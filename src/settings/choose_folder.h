#pragma once
// The system's folder browser.
#include <windows.h>

#include <string>

namespace quilbo {

// Shows the folder browser owned by `owner` (the application window, so that
// the application's own reaction disables the main window around it) and
// returns the chosen folder's full path, or an empty string on cancel.
std::string ChooseFolder(HWND owner, const std::string& title, UINT flags);

}  // namespace quilbo
