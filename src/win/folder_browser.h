#pragma once
// The system's folder browser, one at a time on the one thread.
#include <windows.h>

#include <string>

namespace quilbo {

// Shows the folder browser owned by `owner` with `title` and the BIF_ `flags`
// and returns the chosen folder's full path, or an empty string on cancel.
// Throws when the chosen folder's path cannot be written in the active code page.
std::string BrowseForFolder(HWND owner, const std::string& title, UINT flags);

// When the folder browser is open: makes it end as a cancel, whatever is
// highlighted in it, and returns true. Otherwise does nothing and returns false.
bool CancelFolderBrowser();

}  // namespace quilbo
