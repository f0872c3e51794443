// The system dialogs the program opens: file dialogs, the folder browser, message boxes.
#include "harness/harness.h"
#include "harness/internal.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cwchar>

namespace e2e {

using namespace detail;

constexpr int kFileNameBox = 1148;
constexpr int kFilterBox = 1136;
constexpr int kFolderTree = 14145;
constexpr int kMessageText = 0xFFFF;

void ChooseFileInDialog(HWND dialog, const std::string& path) {
  SetText(Child(dialog, kFileNameBox), path);
  OkDialog(dialog);
}

std::string FileDialogFileName(HWND dialog) { return Text(Child(dialog, kFileNameBox)); }
std::string FileDialogFilter(HWND dialog) { return Text(FindDescendant(dialog, kFilterBox)); }

void SelectFilterInDialog(HWND dialog, int index) {
  // The dialog remembers a filter only when the user picks it: real keys.
  HWND box = FindDescendant(dialog, kFilterBox);
  if (!Focus(box)) return;
  KeyPress(VK_HOME);
  for (int i = 0; i < index; ++i) KeyPress(VK_DOWN);
  WaitUntil([&] { return SendWithTimeout(box, CB_GETCURSEL, 0, 0) == index; }, Ms(1000));
}

void CancelDialog(HWND dialog) { PostClick(Child(dialog, IDCANCEL)); }
void OkDialog(HWND dialog) { PostClick(Child(dialog, IDOK)); }
bool IsFileDialog(HWND dialog) { return Child(dialog, kFileNameBox) != nullptr; }
bool IsFolderBrowser(HWND dialog) { return FindDescendant(dialog, kFolderTree) != nullptr; }

namespace {
std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 4 + 1, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, nullptr);
  utf8.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
  return utf8;
}
}  // namespace

// The browser is driven through its wide messages: the ANSI ones stop at
// MAX_PATH bytes, which a name in a script of several bytes per character
// passes long before MAX_PATH characters.
std::string FolderBrowserSelection(HWND dialog) {
  HWND tree = FindDescendant(dialog, kFolderTree);
  if (!tree) return {};
  const auto item = SendWithTimeout(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
  if (!item) return {};
  DWORD pid = 0;
  GetWindowThreadProcessId(tree, &pid);
  Handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
  if (!process.valid()) return {};
  constexpr std::size_t kText = 1024;
  RemoteBuffer remote(process.h, sizeof(TVITEMW) + kText * sizeof(wchar_t));
  if (!remote.address) return {};
  auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.address) + sizeof(TVITEMW));
  TVITEMW tvi{};
  tvi.mask = TVIF_TEXT;
  tvi.hItem = reinterpret_cast<HTREEITEM>(item);
  tvi.pszText = remoteText;
  tvi.cchTextMax = kText;
  WriteProcessMemory(process.h, remote.address, &tvi, sizeof tvi, nullptr);
  if (!SendWithTimeout(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.address))) return {};
  std::wstring text(kText, L'\0');
  ReadProcessMemory(process.h, remoteText, text.data(), kText * sizeof(wchar_t), nullptr);
  text.resize(wcsnlen(text.c_str(), kText));
  return Utf8(text);
}

bool SelectFolderInBrowser(HWND dialog, const std::string& folder, Ms timeout) {
  std::string path = folder;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  const std::string want = BaseName(path);
  const std::wstring widePath = Wide(path);
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  Handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
  if (!process.valid()) return false;
  const std::size_t bytes = (widePath.size() + 1) * sizeof(wchar_t);
  RemoteBuffer remote(process.h, bytes);
  if (!remote.address) return false;
  WriteProcessMemory(process.h, remote.address, widePath.c_str(), bytes, nullptr);
  // The first selection in a fresh browser sometimes does not take: retry until
  // the tree's caret item is the folder.
  return WaitUntil(
      [&] {
        SendWithTimeout(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote.address));
        return WaitUntil([&] { return IEquals(FolderBrowserSelection(dialog), want); }, Ms(300));
      },
      timeout);
}

std::string MessageBoxText(HWND box) { return Text(Child(box, kMessageText)); }

HWND VisibleTooltip(DWORD pid) {
  for (HWND w : TopLevelWindows(pid, QUILBO_TOOLTIP_CLASS)) {
    if (IsWindowVisible(w)) return w;
  }
  return nullptr;
}

}  // namespace e2e
