// Real keyboard and mouse input (SendInput), and the focus it goes to.
#include "harness/harness.h"
#include "harness/internal.h"

#include <vector>

namespace e2e {

using namespace detail;

namespace {

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

}  // namespace e2e
