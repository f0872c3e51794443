#include "harness/harness.h"

#include <commctrl.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr UINT kSendTimeoutMs = 5000;
constexpr int kFileNameBox = 1148;
constexpr int kFilterBox = 1136;
constexpr int kFolderTree = 14145;
constexpr int kMessageText = 0xFFFF;

struct Handle {
  HANDLE h = nullptr;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h && h != INVALID_HANDLE_VALUE; }
};

struct Key {
  HKEY h = nullptr;
  Key() = default;
  ~Key() {
    if (h) RegCloseKey(h);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
};

// Remote memory in another process, freed on scope exit.
struct RemoteBuffer {
  HANDLE process = nullptr;
  void* address = nullptr;
  RemoteBuffer(HANDLE p, std::size_t size) : process(p) {
    address = VirtualAllocEx(p, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address) VirtualFreeEx(process, address, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
};

LRESULT SendWithTimeout(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_NORMAL, kSendTimeoutMs, &result)) return 0;
  return static_cast<LRESULT>(result);
}

bool IEquals(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

void DeleteTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA((dir + "*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path + "\\");
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

void MakeDirs(const std::string& dir) {
  for (std::size_t i = 3; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '\\') CreateDirectoryA(dir.substr(0, i).c_str(), nullptr);
  }
}

std::string ReadWholeFile(const std::string& path) {
  Handle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f.valid()) return {};
  std::string bytes;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f.h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  return bytes;
}

std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (!info) return "no-test";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?') c = '_';
  }
  return name;
}

// Ends every running process started from an executable called `exeName`,
// except `keep`: a copy left over by an earlier, killed test must not steal
// the foreground or the registry.
void EndProcessesNamed(const std::string& exeName, DWORD keep = 0) {
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap.valid()) return;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap.h, &pe); ok; ok = Process32Next(snap.h, &pe)) {
    if (pe.th32ProcessID == keep || pe.th32ProcessID == GetCurrentProcessId()) continue;
    if (!IEquals(pe.szExeFile, exeName)) continue;
    Handle p(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID));
    if (!p.valid()) continue;
    TerminateProcess(p.h, 1);
    WaitForSingleObject(p.h, 5000);
  }
}

void SendInputs(std::vector<INPUT> inputs) {
  if (!inputs.empty()) SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  ::Sleep(15);
}

INPUT KeyInput(UINT vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = static_cast<WORD>(vk);
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  switch (vk) {
    case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT: case VK_HOME: case VK_END:
    case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
      in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
      break;
    default:
      break;
  }
  if (up) in.ki.dwFlags |= KEYEVENTF_KEYUP;
  return in;
}

INPUT MouseInput(DWORD flags, POINT screen = {}) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = MulDiv(screen.x, 65535, w - 1);
    in.mi.dy = MulDiv(screen.y, 65535, h - 1);
  }
  return in;
}

}  // namespace

// ---- Waiting ---------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& done, Ms timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= end) return done();
    ::Sleep(50);
  }
}

bool Stays(const std::function<bool()>& holds, Ms duration) {
  const auto end = Clock::now() + duration;
  do {
    if (!holds()) return false;
    ::Sleep(20);
  } while (Clock::now() < end);
  return holds();
}

void Sleep(Ms duration) { ::Sleep(static_cast<DWORD>(duration.count())); }

// ---- Paths -----------------------------------------------------------------

std::string BinDir() {
  char path[MAX_PATH * 4] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return DirName(path);
}

std::string ProgramPath() { return BinDir() + "Quilbo.exe"; }
std::string StandInDir() { return BinDir() + "stand-in\\"; }
std::string StandInPath() { return StandInDir() + "normalize.exe"; }

std::string ScratchDir(const std::string& sub) {
  char temp[MAX_PATH * 4] = {};
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "quilbo-e2e\\" + TestName() + "\\";
  static std::string cleaned;  // wiped once per test, on first use
  if (cleaned != dir) {
    DeleteTree(dir);
    cleaned = dir;
  }
  if (!sub.empty()) dir += sub + "\\";
  MakeDirs(dir);
  return dir;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  MakeDirs(DirName(path));
  Handle f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  if (!bytes.empty()) ::WriteFile(f.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyFileTo(const std::string& from, const std::string& to) {
  MakeDirs(DirName(to));
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy " + from + " to " + to);
  }
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// ---- Windows of any process ------------------------------------------------

std::string Text(HWND w) {
  if (!w) return {};
  const auto length = SendWithTimeout(w, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<std::size_t>(length) * 4 + 4, '\0');
  const auto got = SendWithTimeout(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::min<std::size_t>(static_cast<std::size_t>(got), std::strlen(text.c_str())));
  return text;
}

void SetText(HWND w, const std::string& s) {
  SendWithTimeout(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

std::string ClassName(HWND w) {
  char name[256] = {};
  if (w) GetClassNameA(w, name, sizeof name);
  return name;
}

bool IsEnabled(HWND w) { return w && IsWindowEnabled(w); }
bool IsVisible(HWND w) { return w && IsWindowVisible(w); }
bool IsChecked(HWND w) { return w && SendWithTimeout(w, BM_GETCHECK, 0, 0) == BST_CHECKED; }
DWORD Style(HWND w) { return static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)); }
DWORD ExStyle(HWND w) { return static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)); }

RECT WindowRect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

RECT ClientRect(HWND w) {
  RECT r{};
  GetClientRect(w, &r);
  return r;
}

RECT RectInParent(HWND child) {
  RECT r = WindowRect(child);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

POINT ClientOrigin(HWND w) {
  POINT p{0, 0};
  ClientToScreen(w, &p);
  return p;
}

HWND Child(HWND parent, int id) {
  for (HWND c : Children(parent)) {
    if ((GetDlgCtrlID(c) & 0xFFFF) == (id & 0xFFFF)) return c;
  }
  return nullptr;
}

namespace {
struct DescendantSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchDescendant(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<DescendantSearch*>(lp);
  if ((GetDlgCtrlID(w) & 0xFFFF) != (s->id & 0xFFFF)) return TRUE;
  s->found = w;
  return FALSE;
}

struct TopLevelSearch {
  DWORD pid;
  const char* className;
  const char* title;
  std::vector<HWND> found;
  bool hiddenToo = false;
};

BOOL CALLBACK MatchTopLevel(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<TopLevelSearch*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner != s->pid || (!s->hiddenToo && !IsWindowVisible(w))) return TRUE;
  if (s->className && ClassName(w) != s->className) return TRUE;
  if (s->title) {
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    if (std::string(text) != s->title) return TRUE;
  }
  s->found.push_back(w);
  return TRUE;
}
}  // namespace

HWND FindDescendant(HWND parent, int id) {
  DescendantSearch search{id, nullptr};
  if (parent) EnumChildWindows(parent, MatchDescendant, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> list;
  if (!parent) return list;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) list.push_back(c);
  return list;
}

std::vector<HWND> TopLevelWindows(DWORD pid, const char* className, const char* title) {
  TopLevelSearch search{pid, className, title, {}};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> AllTopLevelWindows(DWORD pid, const char* className) {
  TopLevelSearch search{pid, className, nullptr, {}, true};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void PostClick(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }
void SendClick(HWND button) { SendWithTimeout(button, BM_CLICK, 0, 0); }
void PostCommand(HWND window, int id) { PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
void PostChar(HWND w, char ch) { PostMessageA(w, WM_CHAR, static_cast<unsigned char>(ch), 1); }
void PostChars(HWND w, const std::string& s) {
  for (char ch : s) PostChar(w, ch);
}
void PostKey(HWND w, UINT vk) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageA(w, WM_KEYDOWN, vk, 1 | scan);
  PostMessageA(w, WM_KEYUP, vk, 1 | scan | (1u << 30) | (1u << 31));
}
void PostClose(HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); }

HWND FocusedWindow(HWND anyWindowOfThread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(anyWindowOfThread, nullptr);
  if (!thread || !GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus;
}

bool Focus(HWND w) {
  if (!w) return false;
  HWND top = GetAncestor(w, GA_ROOT);
  const DWORD me = GetCurrentThreadId();
  const DWORD target = GetWindowThreadProcessId(w, nullptr);
  return WaitUntil(
      [&] {
        HWND fg = GetForegroundWindow();
        const DWORD fgThread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
        const bool attachFg = fgThread && fgThread != me && fgThread != target;
        if (attachFg) AttachThreadInput(me, fgThread, TRUE);
        AttachThreadInput(me, target, TRUE);
        SetForegroundWindow(top);
        BringWindowToTop(top);
        SetFocus(w);
        AttachThreadInput(me, target, FALSE);
        if (attachFg) AttachThreadInput(me, fgThread, FALSE);
        // The focus must also stay: a window re-activated after a dialog hands
        // it back to its former control a moment later.
        const auto focused = [&] { return GetForegroundWindow() == top && FocusedWindow(w) == w; };
        return WaitUntil(focused, Ms(300)) && Stays(focused, Ms(150));
      },
      Ms(3000));
}

void KeyDown(UINT vk) { SendInputs({KeyInput(vk, false)}); }
void KeyUp(UINT vk) { SendInputs({KeyInput(vk, true)}); }
void KeyPress(UINT vk) { SendInputs({KeyInput(vk, false), KeyInput(vk, true)}); }

void TypeText(const std::string& ascii) {
  for (char ch : ascii) {
    const SHORT scan = VkKeyScanA(ch);
    if (scan == -1) continue;
    const UINT vk = LOBYTE(scan);
    const bool shift = HIBYTE(scan) & 1;
    std::vector<INPUT> in;
    if (shift) in.push_back(KeyInput(VK_SHIFT, false));
    in.push_back(KeyInput(vk, false));
    in.push_back(KeyInput(vk, true));
    if (shift) in.push_back(KeyInput(VK_SHIFT, true));
    SendInputs(in);
  }
}

void MouseMove(POINT screen) {
  for (int step = 2; step >= 0; --step) {
    SendInputs({MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, {screen.x - step, screen.y - step})});
    ::Sleep(20);
  }
}

void MouseDown() { SendInputs({MouseInput(MOUSEEVENTF_LEFTDOWN)}); }
void MouseUp() { SendInputs({MouseInput(MOUSEEVENTF_LEFTUP)}); }

void MouseClick(POINT screen) {
  MouseMove(screen);
  SendInputs({MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
}

void MouseDoubleClick(POINT screen) {
  MouseMove(screen);
  SendInputs({MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP),
              MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
}

void MouseDrag(POINT from, POINT to) {
  // Slow enough for the window's own drag loop to start before the moves come.
  MouseMove(from);
  MouseDown();
  ::Sleep(150);
  for (int step = 1; step <= 4; ++step) {
    SendInputs({MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                           {from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4})});
    ::Sleep(60);
  }
  ::Sleep(100);
  MouseUp();
  ::Sleep(100);
}

POINT Centre(HWND w) {
  const RECT r = WindowRect(w);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// ---- System dialogs --------------------------------------------------------

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

// ---- Dropping files ----------------------------------------------------------

namespace {

// The address in `pid` of `function` of this process: the same module at the
// same offset, wherever that module was loaded there.
std::uintptr_t RemoteAddress(DWORD pid, const void* function) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(function), &module))
    throw std::runtime_error("no module holds the function");
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  const std::string name = BaseName(path);
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot list the modules of the program");
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::uintptr_t base = 0;
  for (BOOL more = Module32First(snapshot, &entry); more && !base; more = Module32Next(snapshot, &entry))
    if (lstrcmpiA(entry.szModule, name.c_str()) == 0) base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
  CloseHandle(snapshot);
  if (!base) throw std::runtime_error("the program has not loaded " + name);
  return base + (reinterpret_cast<std::uintptr_t>(function) - reinterpret_cast<std::uintptr_t>(module));
}

// A zeroed fixed block of `size` bytes from GlobalAlloc inside `process`, as the
// system makes a drop's HDROP: the receiver frees it with DragFinish. A few
// bytes of code run there as a thread: GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size).
std::uintptr_t RemoteGlobalAlloc(HANDLE process, DWORD size) {
  const std::uintptr_t globalAlloc =
      RemoteAddress(GetProcessId(process), reinterpret_cast<const void*>(&GlobalAlloc));
  unsigned char code[] = {
      0x8B, 0x44, 0x24, 0x04,        // mov eax, [esp+4]   (the thread's argument: size)
      0x50,                          // push eax
      0x6A, GPTR,                    // push GPTR
      0xB8, 0, 0, 0, 0,              // mov eax, GlobalAlloc
      0xFF, 0xD0,                    // call eax
      0xC2, 0x04, 0x00,              // ret 4
  };
  const auto address = static_cast<std::uint32_t>(globalAlloc);
  std::memcpy(code + 8, &address, sizeof address);
  void* remoteCode = VirtualAllocEx(process, nullptr, sizeof code, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  if (!remoteCode) throw std::runtime_error("VirtualAllocEx failed");
  DWORD result = 0;
  if (WriteProcessMemory(process, remoteCode, code, sizeof code, nullptr)) {
    const HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(remoteCode),
                                             reinterpret_cast<void*>(static_cast<std::uintptr_t>(size)), 0, nullptr);
    if (thread) {
      WaitForSingleObject(thread, 5000);
      GetExitCodeThread(thread, &result);
      CloseHandle(thread);
    }
  }
  VirtualFreeEx(process, remoteCode, 0, MEM_RELEASE);
  if (!result) throw std::runtime_error("GlobalAlloc in the program failed");
  return result;
}

}  // namespace

void DropFiles(HANDLE process, HWND target, const std::vector<std::string>& paths, POINT at) {
  // DROPFILES, then the names in UTF-16, each ending in a zero, and one more zero.
  std::wstring names;
  for (const std::string& path : paths) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    names += wide;  // with its zero
  }
  names += L'\0';
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.pt = at;
  header.fWide = TRUE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
  const std::uintptr_t drop = RemoteGlobalAlloc(process, static_cast<DWORD>(block.size()));
  if (!WriteProcessMemory(process, reinterpret_cast<void*>(drop), block.data(), block.size(), nullptr))
    throw std::runtime_error("cannot write the dropped names into the program");
  if (!PostMessageA(target, WM_DROPFILES, static_cast<WPARAM>(drop), 0))
    throw std::runtime_error("cannot post WM_DROPFILES: error " + std::to_string(GetLastError()));
}

// ---- Registry ---------------------------------------------------------------

namespace reg {
namespace {
constexpr REGSAM kView = KEY_WOW64_32KEY;

bool Open(const char* path, REGSAM access, Key& key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access | kView, &key.h) == ERROR_SUCCESS;
}

void SetDacl(HKEY key, const char* sddl, SECURITY_INFORMATION extra) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    throw std::runtime_error("bad security descriptor");
  }
  const LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION | extra, sd);
  LocalFree(sd);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("RegSetKeySecurity failed: " + std::to_string(rc));
}
}  // namespace

bool SettingsKeyExists() {
  Key k;
  return Open(kSettingsKey, KEY_READ, k);
}

bool VendorKeyExists() {
  Key k;
  return Open(kVendorKey, KEY_READ, k);
}

void DeleteSettings() {
  {
    Key k;
    if (Open(kSettingsKey, WRITE_DAC, k)) {
      SetDacl(k.h, "D:(A;;KA;;;WD)", UNPROTECTED_DACL_SECURITY_INFORMATION);
    }
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey);  // 32-bit process: 32-bit view
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, kView, 0);
  Key vendor;
  if (Open(kVendorKey, KEY_READ, vendor)) {
    DWORD subkeys = 0;
    RegQueryInfoKeyA(vendor.h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    if (subkeys == 0) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, kView, 0);
  }
  if (SettingsKeyExists()) throw std::runtime_error("cannot delete the settings key");
}

std::optional<std::string> Read(const std::string& name) {
  Key k;
  if (!Open(kSettingsKey, KEY_READ, k)) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k.h, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string data(size + 1, '\0');
  if (RegQueryValueExA(k.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(std::strlen(data.c_str()));
  return data;
}

DWORD Type(const std::string& name) {
  Key k;
  DWORD type = REG_NONE;
  if (Open(kSettingsKey, KEY_READ, k) &&
      RegQueryValueExA(k.h, name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS) {
    return type;
  }
  return REG_NONE;
}

std::map<std::string, std::string> ReadAll() {
  std::map<std::string, std::string> all;
  Key k;
  if (!Open(kSettingsKey, KEY_READ, k)) return all;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name, type = 0;
    if (RegEnumValueA(k.h, i, name, &nameSize, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (type == REG_SZ || type == REG_EXPAND_SZ) all[name] = Read(name).value_or("");
  }
  return all;
}

void WriteRaw(const std::string& name, DWORD type, const std::string& bytes) {
  Key k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &k.h,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the settings key");
  }
  if (RegSetValueExA(k.h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write " + name);
  }
}

void Write(const std::string& name, const std::string& value) {
  WriteRaw(name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void Remove(const std::string& name) {
  Key k;
  if (Open(kSettingsKey, KEY_SET_VALUE, k)) RegDeleteValueA(k.h, name.c_str());
}

void DenyWrite() {
  DeleteSettings();
  Key k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &k.h,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the settings key");
  }
  SetDacl(k.h, "D:P(A;;KR;;;WD)", PROTECTED_DACL_SECURITY_INFORMATION);
}
}  // namespace reg

// ---- Stand-in records ---------------------------------------------------------

namespace {
std::string LaunchFile(const std::string& dir) {
  return (dir.empty() ? StandInDir() : dir) + "launches.txt";
}
}  // namespace

std::vector<Launch> Launches(const std::string& dir) {
  std::vector<Launch> all;
  std::istringstream in(ReadWholeFile(LaunchFile(dir)));
  Launch current;
  bool open = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    const std::string key = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (key == "cmdline") {
      current = Launch{};
      current.commandLine = value;
      open = true;
    } else if (key == "arg") {
      current.args.push_back(value);
    } else if (key == "cwd") {
      current.currentDir = value;
    } else if (key == "useshowwindow") {
      current.useShowWindow = value == "1";
    } else if (key == "showwindow") {
      current.showWindow = std::atoi(value.c_str());
    } else if (key == "end" && open) {
      all.push_back(current);
      open = false;
    }
  }
  return all;
}

void ClearLaunches(const std::string& dir) { DeleteFileA(LaunchFile(dir).c_str()); }

std::vector<Launch> WaitForLaunches(std::size_t count, const std::string& dir, Ms timeout) {
  std::vector<Launch> seen;
  WaitUntil(
      [&] {
        seen = Launches(dir);
        return seen.size() >= count;
      },
      timeout);
  return seen;
}

// ---- Other programs and our tool's work -----------------------------------------

namespace {

std::vector<DWORD> ChildrenOf(DWORD parent) {
  std::vector<DWORD> children;
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap.valid()) return children;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap.h, &pe); ok; ok = Process32Next(snap.h, &pe)) {
    if (pe.th32ParentProcessID == parent && pe.th32ProcessID != parent) children.push_back(pe.th32ProcessID);
  }
  return children;
}

bool ProcessNamedRuns(const std::string& exeName) {
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap.valid()) return false;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap.h, &pe); ok; ok = Process32Next(snap.h, &pe)) {
    if (IEquals(pe.szExeFile, exeName)) return true;
  }
  return false;
}

}  // namespace

std::optional<DWORD> RunAndWait(const std::string& commandLine, Ms timeout) {
  const auto deadline = Clock::now() + timeout;
  auto left = [&] {
    const auto ms = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
    return static_cast<DWORD>(std::max<long long>(ms, 0));
  };
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si,
                      &pi)) {
    return std::nullopt;
  }
  Handle process(pi.hProcess), thread(pi.hThread);
  // The children are looked up while the parent's handle keeps its id taken.
  if (WaitForSingleObject(process.h, left()) != WAIT_OBJECT_0) return std::nullopt;
  for (DWORD child : ChildrenOf(pi.dwProcessId)) {
    Handle p(OpenProcess(SYNCHRONIZE, FALSE, child));
    if (p.valid() && WaitForSingleObject(p.h, left()) != WAIT_OBJECT_0) return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.h, &code);
  return code;
}

void WaitForToolRun() {
  EXPECT_TRUE(WaitUntil([] { return ProcessNamedRuns("normalize.exe"); }, Ms(10000))) << "the tool did not start";
  EXPECT_TRUE(WaitUntil([] { return !ProcessNamedRuns("normalize.exe"); }, Ms(30000))) << "the tool did not end";
}

int PeakOf16BitWav(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  const auto data = bytes.find("data", 12);
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || data == std::string::npos) return -1;
  int peak = 0;
  for (std::size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}

// ---- App ------------------------------------------------------------------------

namespace {

constexpr const char* kDesktopKey = "Control Panel\\Desktop";

std::optional<DWORD> ReadLogPixels() {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

void WriteLogPixels(const std::optional<DWORD>& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot open HKCU\\Control Panel\\Desktop");
  if (value) {
    RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof *value);
  } else {
    RegDeleteValueA(key, "LogPixels");
  }
  RegCloseKey(key);
}

}  // namespace

App::App(StartOptions options) : options_(std::move(options)) {
  if (options_.exe.empty()) options_.exe = ProgramPath();
  if (options_.workingDir.empty()) options_.workingDir = DirName(options_.exe);
  if (options_.toolDir.empty()) options_.toolDir = StandInDir();
  EndProcessesNamed(BaseName(options_.exe));

  switch (options_.registry) {
    case StartOptions::Registry::SeedToolDir:
      reg::DeleteSettings();
      reg::Write("NormDir", options_.toolDir);
      for (const auto& [name, value] : options_.values) reg::Write(name, value);
      break;
    case StartOptions::Registry::FirstRun:
      reg::DeleteSettings();
      break;
    case StartOptions::Registry::Denied:
      reg::DenyWrite();
      break;
    case StartOptions::Registry::Keep:
      break;
  }
  if (options_.clearLaunches) ClearLaunches();
  if (options_.dpi > 0) {
    savedLogPixels_ = ReadLogPixels();
    WriteLogPixels(static_cast<DWORD>(options_.dpi));
  }

  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (options_.showCommand >= 0) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(options_.showCommand);
  }
  PROCESS_INFORMATION pi{};
  std::string commandLine = "\"" + options_.exe + "\"";
  // Detached: the program must not inherit the driver's output pipe, or whoever
  // reads it would wait for the program to end.
  if (!CreateProcessA(options_.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                      nullptr, options_.workingDir.c_str(), &si, &pi)) {
    ADD_FAILURE() << "cannot start " << options_.exe << " (error " << GetLastError() << ")";
    RestoreLogPixels();
    return;
  }
  process_ = pi.hProcess;
  thread_ = pi.hThread;
  pid_ = pi.dwProcessId;
  if (options_.waitForMainWindow && !WaitForMain(options_.startTimeout)) {
    ADD_FAILURE() << "the main window (" << options_.mainClass << ") of " << options_.exe
                  << " did not appear within " << options_.startTimeout.count() << " ms";
  }
  // A window exists only once the process has read its DPI: later starts get the old one back.
  if (Main()) RestoreLogPixels();
}

void App::RestoreLogPixels() {
  if (!savedLogPixels_) return;
  WriteLogPixels(*savedLogPixels_);
  savedLogPixels_.reset();
}

App::~App() {
  RestoreLogPixels();
  Terminate();
  if (thread_) CloseHandle(thread_);
  if (process_) CloseHandle(process_);
}

bool App::Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

bool App::WaitForExit(Ms timeout) {
  return !process_ || WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

void App::Terminate() {
  if (Running()) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
}

HWND App::Main() {
  if (main_ && IsWindow(main_)) return main_;
  const auto found = TopLevelWindows(pid_, options_.mainClass.c_str());
  main_ = found.empty() ? nullptr : found.front();
  return main_;
}

HWND App::WaitForMain(Ms timeout) {
  WaitUntil([&] { return Main() != nullptr || !Running(); }, timeout);
  return Main();
}

HWND App::Control(int id) { return Child(Main(), id); }

std::optional<bool> App::MenuChecked(int id) {
  HMENU menu = GetMenu(Main());
  const UINT state = menu ? GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) : static_cast<UINT>(-1);
  if (state == static_cast<UINT>(-1)) return std::nullopt;
  return (state & MF_CHECKED) != 0;
}

std::string App::WaitForText(int id, const std::string& expected, Ms timeout) {
  std::string last;
  WaitUntil(
      [&] {
        last = Text(id);
        return last == expected;
      },
      timeout);
  return last;
}

std::string App::WaitForCommandLine(const std::string& expected, Ms timeout) {
  return WaitForText(IDC_EDIT2, expected, timeout);
}

HWND App::WaitForWindow(const char* className, const char* title, Ms timeout) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        const auto all = TopLevelWindows(pid_, className, title);
        found = all.empty() ? nullptr : all.front();
        return found != nullptr;
      },
      timeout);
  return found;
}

HWND App::Dialog() {
  const auto all = TopLevelWindows(pid_, "#32770");
  return all.empty() ? nullptr : all.front();
}

HWND App::WaitForDialog(Ms timeout) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = Dialog();
        return found != nullptr;
      },
      timeout);
  return found;
}

HWND App::WaitForAbout(Ms timeout) { return WaitForWindow(QUILBO_FORM2_CLASS, nullptr, timeout); }

bool App::WaitForNoDialog(Ms timeout) {
  return WaitUntil([&] { return Dialog() == nullptr; }, timeout);
}

bool App::PickFile(int pickerId, const std::string& path) {
  Click(pickerId);
  HWND dialog = WaitForDialog();
  if (!dialog || !IsFileDialog(dialog)) return false;
  ChooseFileInDialog(dialog, path);
  return WaitForNoDialog();
}

bool App::CancelPicker(int pickerId) {
  Click(pickerId);
  HWND dialog = WaitForDialog();
  if (!dialog || !IsFileDialog(dialog)) return false;
  CancelDialog(dialog);
  return WaitForNoDialog();
}

Ms App::CpuTime() const {
  FILETIME created, exited, kernel, user;
  if (!process_ || !GetProcessTimes(process_, &created, &exited, &kernel, &user)) return Ms(0);
  auto ticks = [](FILETIME f) { return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return Ms((ticks(kernel) + ticks(user)) / 10000);
}

}  // namespace e2e
