#include "ui/tooltip.h"

#include <commctrl.h>

#include <exception>

#include "win/library.h"

namespace quilbo {
namespace {

// The next control's tip while one shows; also how often a showing tip checks
// that the mouse is still on its control.
constexpr UINT kAtOnceMs = 100;

}  // namespace

void TToolTip::Attach(HWND form, UINT initialMs, UINT autoPopMs) {
  form_ = form;
  initialMs_ = initialMs;
  autoPopMs_ = autoPopMs;
}

RECT TToolTip::AreaOf(HWND control, HWND form) {
  RECT area{};
  GetWindowRect(control, &area);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&area), 2);
  return area;
}

void TToolTip::AddTool(const TControl& control, std::string text) {
  tools_.push_back({control.Handle(), AreaOf(control.Handle(), form_), std::move(text)});
}

void TToolTip::MoveTools() {
  for (Tool& tool : tools_) {
    tool.area = AreaOf(tool.control, form_);
    if (!hwnd_) continue;
    TTTOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.hwnd = form_;
    info.uId = static_cast<UINT_PTR>(GetDlgCtrlID(tool.control));
    info.rect = tool.area;
    SendMessageA(hwnd_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void TToolTip::SetActive(bool active) {
  active_ = active;
  if (hwnd_) SendMessageA(hwnd_, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
}

int TToolTip::ToolAt(const MSG& message) const {
  const POINT point{static_cast<short>(LOWORD(message.lParam)), static_cast<short>(HIWORD(message.lParam))};
  for (std::size_t i = 0; i < tools_.size(); ++i) {
    const Tool& tool = tools_[i];
    if (message.hwnd == tool.control || (message.hwnd == form_ && PtInRect(&tool.area, point)))
      return static_cast<int>(i);
  }
  return -1;
}

void TToolTip::Relay(const MSG& message) {
  if (!active_ || !form_) return;
  const UINT kind = message.message;
  const bool press = kind == WM_LBUTTONDOWN || kind == WM_RBUTTONDOWN || kind == WM_MBUTTONDOWN ||
                     kind == WM_LBUTTONDBLCLK || kind == WM_RBUTTONDBLCLK || kind == WM_MBUTTONDBLCLK;
  if (press || kind == WM_KEYDOWN || kind == WM_SYSKEYDOWN) {
    // Gone, and a tip still to come called off, until the mouse moves on to
    // another control.
    if (!hwnd_) return;
    SendMessageA(hwnd_, TTM_POP, 0, 0);
    MSG nowhere{form_, WM_MOUSEMOVE, 0, MAKELPARAM(-1, -1), message.time, message.pt};
    SendMessageA(hwnd_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&nowhere));
    doneWith_ = current_;
    return;
  }
  if (kind != WM_MOUSEMOVE) return;
  const int tool = ToolAt(message);
  if (!hwnd_ && (tool < 0 || !MakeWindow())) return;
  const bool showing = IsWindowVisible(hwnd_) != FALSE;
  if (tool != current_) {
    // Still at once while the next tip is due: the control may see the mouse
    // on the last control once more after it has left.
    nextAtOnce_ = tool >= 0 && (showing || nextAtOnce_);
    // Straight from one control to another with no tip showing: a new rest,
    // of the full time.
    SetDelay(TTDT_RESHOW, nextAtOnce_ || current_ < 0 ? kAtOnceMs : initialMs_, reshowMs_);
    current_ = tool;
    doneWith_ = -1;
  } else if (showing) {
    nextAtOnce_ = false;
  } else if (tool == doneWith_) {
    return;  // its tip has come and gone: the control would start another rest
  }
  // The control starts the rest again at every move on the same control;
  // while the next tip is due at once, that rest is short too.
  SetDelay(TTDT_INITIAL, nextAtOnce_ ? kAtOnceMs : initialMs_, initialNowMs_);
  MSG relayed = message;
  SendMessageA(hwnd_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void TToolTip::Notify(const NMHDR& header) {
  if (!hwnd_ || header.hwndFrom != hwnd_) return;
  if (header.code == TTN_SHOW) {
    doneWith_ = current_;
  } else if (header.code == TTN_POP) {
    // Hidden because the mouse left the control (the form's edge, say, where
    // no message of ours tells): a new rest when it comes back.
    POINT pointer{};
    GetCursorPos(&pointer);
    const HWND under = WindowFromPoint(pointer);
    ScreenToClient(form_, &pointer);
    const bool onTool = current_ >= 0 && PtInRect(&tools_[static_cast<std::size_t>(current_)].area, pointer) &&
                        (under == form_ || IsChild(form_, under));
    if (!onTool) current_ = doneWith_ = -1;
  }
}

void TToolTip::SetDelay(WPARAM which, UINT ms, UINT& current) {
  if (ms == current) return;
  current = ms;
  SendMessageA(hwnd_, TTM_SETDELAYTIME, which, MAKELPARAM(ms, 0));
}

bool TToolTip::MakeWindow() {
  if (hwnd_ || windowFailed_) return hwnd_ != nullptr;
  // Hints are a help, not a function: without their window there are none,
  // rather than an error at a mouse move.
  try {
    static const auto initCommonControls =
        SystemFunction<decltype(&InitCommonControlsEx)>("comctl32.dll", "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    initCommonControls(&classes);
    // Owned by the form: above it, hidden with it. Shown whether or not the
    // form is active, as the hints always were.
    CreateArgs args;
    args.systemClass = TOOLTIPS_CLASSA;
    args.text = nullptr;
    args.style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
    args.exStyle = WS_EX_TOPMOST;
    args.left = args.top = args.width = args.height = CW_USEDEFAULT;
    args.parent = form_;
    Create(args);
  } catch (const std::exception&) {
    windowFailed_ = true;
    return false;
  }
  // The control's own colours are the info colours the hints are drawn in.
  SetDelay(TTDT_INITIAL, initialMs_, initialNowMs_);
  SendMessageA(hwnd_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(autoPopMs_, 0));
  SetDelay(TTDT_RESHOW, kAtOnceMs, reshowMs_);
  for (Tool& tool : tools_) {
    // The size of the structure that version 5 of the control (no manifest
    // asks for 6) still accepts.
    TTTOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.hwnd = form_;
    info.lpszText = tool.text.data();
    info.uFlags = TTF_IDISHWND;
    info.uId = reinterpret_cast<UINT_PTR>(tool.control);
    SendMessageA(hwnd_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    info.uFlags = 0;
    info.uId = static_cast<UINT_PTR>(GetDlgCtrlID(tool.control));
    info.rect = tool.area;
    SendMessageA(hwnd_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  }
  SendMessageA(hwnd_, TTM_ACTIVATE, active_ ? TRUE : FALSE, 0);
  return true;
}

}  // namespace quilbo
