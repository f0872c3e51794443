// Windows of any process: finding them, reading them, posting to them.
#include "harness/harness.h"
#include "harness/internal.h"

#include <algorithm>
#include <cstring>

namespace e2e {

using namespace detail;

constexpr UINT kSendTimeoutMs = 5000;

namespace detail {

LRESULT SendWithTimeout(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_NORMAL, kSendTimeoutMs, &result)) return 0;
  return static_cast<LRESULT>(result);
}

}  // namespace detail

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

}  // namespace e2e
