#include "win/folder_browser.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <stdexcept>

#include "win/com_apartment.h"
#include "win/library.h"

namespace quilbo {
namespace {

// The shell's item list, freed with the COM allocator it came from.
struct ItemListFree {
  decltype(&CoTaskMemFree) free;
  void operator()(ITEMIDLIST* item) const { free(item); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

// The browser in progress on this (the only) thread.
struct BrowserState {
  bool open = false;
  HWND window = nullptr;  // known once the browser has initialised
  bool cancelRequested = false;
};
BrowserState browser;

void PostCancel(HWND window) { PostMessageA(window, WM_COMMAND, IDCANCEL, 0); }

int CALLBACK BrowserCallback(HWND window, UINT message, LPARAM, LPARAM) {
  if (message == BFFM_INITIALIZED) {
    browser.window = window;
    if (browser.cancelRequested) PostCancel(window);
  }
  return 0;
}

// A path in the active code page; throws when a character has no place in it.
std::string ActiveCodePageText(const wchar_t* wide) {
  BOOL lossy = FALSE;
  // UTF-8 takes every character, and refuses the question.
  BOOL* const askLossy = GetACP() == CP_UTF8 ? nullptr : &lossy;
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, askLossy);
  if (size <= 0 || lossy)
    throw std::runtime_error("The chosen folder's name cannot be written in this system's code page");
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size) - 1);  // the terminating zero
  return text;
}

}  // namespace

bool CancelFolderBrowser() {
  if (!browser.open) return false;
  browser.cancelRequested = true;
  if (browser.window) PostCancel(browser.window);
  return true;
}

std::string BrowseForFolder(HWND owner, const std::string& title, UINT flags) {
  static const auto browseForFolder =
      SystemFunction<decltype(&SHBrowseForFolderA)>("shell32.dll", "SHBrowseForFolderA");
  // The wide form: the ANSI one fills a MAX_PATH-byte buffer, too small for a
  // path of MAX_PATH characters in a code page of several bytes per character.
  static const auto pathFromItem =
      SystemFunction<decltype(&SHGetPathFromIDListW)>("shell32.dll", "SHGetPathFromIDListW");
  static const auto taskMemFree = SystemFunction<decltype(&CoTaskMemFree)>("ole32.dll", "CoTaskMemFree");
  const ComApartment com;
  // Up to MAX_PATH characters of up to four bytes each.
  char displayName[4 * MAX_PATH + 1] = {};
  BROWSEINFOA request = {};
  request.hwndOwner = owner;
  request.pszDisplayName = displayName;
  request.lpszTitle = title.c_str();
  request.ulFlags = flags;
  request.lpfn = &BrowserCallback;

  browser = BrowserState{true, nullptr, false};
  struct Done {
    ~Done() { browser = BrowserState{}; }
  } done;
  const ItemList item(browseForFolder(&request), ItemListFree{taskMemFree});
  // A close request ends the browser as a cancel: whatever it returns was not confirmed.
  if (!item || browser.cancelRequested) return {};
  wchar_t path[MAX_PATH + 1] = {};
  if (!pathFromItem(item.get(), path)) return {};
  path[MAX_PATH] = L'\0';
  return ActiveCodePageText(path);
}

}  // namespace quilbo
