#pragma once
// The system's folder browser.
#include <windows.h>

#include <string>

namespace quilbo {

// Shows the folder browser owned by `owner` (the application window, so that
// the application's own reaction disables the main window around it) and
// returns the chosen folder's full path, or an empty string on cancel. Throws
// when the chosen folder's path cannot be written in the active code page.
std::string ChooseFolder(HWND owner, const std::string& title, UINT flags);

// When the folder browser is open: makes it end as a cancel, whatever is
// highlighted in it, and returns true. Otherwise does nothing and returns false.
bool CancelFolderBrowser();

}  // namespace quilbo
