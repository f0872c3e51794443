#include "ui/application.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "ui/app_text.h"
#include "ui/control_ids.h"

namespace quilbo {

TApplication Application;

namespace {

// Posted to the application window when it has been activated (a dialog it
// owned has closed): the last active form takes the activation over.
constexpr UINT kActivateForm = WM_APP + 1;

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Re-enables the windows a modal box disabled, also when showing it failed.
class ReEnableOnExit {
 public:
  explicit ReEnableOnExit(std::vector<HWND> windows) : windows_(std::move(windows)) {}
  ReEnableOnExit(const ReEnableOnExit&) = delete;
  ReEnableOnExit& operator=(const ReEnableOnExit&) = delete;
  ~ReEnableOnExit() { TApplication::EnableWindows(windows_); }

 private:
  std::vector<HWND> windows_;
};

}  // namespace

void TApplication::Initialize() {
  title_ = ApplicationTitle(ExecutablePath());
  const WindowClass windowClass{
      QUILBO_APP_CLASS, 0, nullptr, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_QUILBO))};
  CreateArgs args;
  args.ownClass = &windowClass;
  args.text = title_.c_str();
  args.style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
  // Zero size: it is never seen, but carries the task-bar button.
  args.left = GetSystemMetrics(SM_CXSCREEN) / 2;
  args.top = GetSystemMetrics(SM_CYSCREEN) / 2;
  Create(args);
}

void TApplication::AddForm(AppForm* form) { forms_.push_back(form); }

void TApplication::RemoveForm(AppForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (mainForm_ == form) mainForm_ = nullptr;
  if (activeForm_ == form) activeForm_ = nullptr;
}

AppForm* TApplication::FormOf(HWND hwnd) const {
  if (!hwnd) return nullptr;
  const HWND root = GetAncestor(hwnd, GA_ROOT);
  for (AppForm* form : forms_)
    if (form->FormWindow() == root) return form;
  return nullptr;
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::Run(int showCommand) {
  // Closed already, during start-up: nothing is shown.
  if (!mainForm_ || terminated_) {
    DestroyHandle();
    return;
  }
  const HWND main = mainForm_->FormWindow();
  if (showCommand == SW_SHOWMINNOACTIVE) {
    ShowApplicationWindow();
    Minimize();
    hiddenWhileMinimized_.push_back(main);
  } else {
    ShowApplicationWindow();
    ShowWindow(main, showCommand == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  }
  while (!terminated_) RunLoopOnce();
  DestroyHandle();
}

void TApplication::RunLoopOnce() {
  if (ProcessMessage()) return;
  Idle();
  // Blocks until the next message; no polling, no timer.
  if (!terminated_) WaitMessage();
}

bool TApplication::ProcessMessage() {
  MSG message{};
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  AppForm* form = FormOf(message.hwnd);
  if (form && form->PreTranslateMessage(message)) return true;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void TApplication::Idle() {
  Guarded([this] {
    if (OnIdle) OnIdle();
  });
}

std::vector<HWND> TApplication::DisableForms(const AppForm* except) {
  std::vector<HWND> disabled;
  for (AppForm* form : forms_) {
    const HWND hwnd = form->FormWindow();
    if (form == except || !hwnd || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) continue;
    form->SaveFocus();
    disabled.push_back(hwnd);
  }
  // Marked first, then disabled: a handler of the enable notification may look.
  for (HWND hwnd : disabled) EnableWindow(hwnd, FALSE);
  return disabled;
}

void TApplication::EnableWindows(const std::vector<HWND>& windows) {
  for (HWND hwnd : windows)
    if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
}

void TApplication::ShowApplicationWindow() {
  if (hwnd_ && !IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOWNA);
}

void TApplication::Minimize() {
  for (AppForm* form : forms_) {
    const HWND hwnd = form->FormWindow();
    if (hwnd && IsWindowVisible(hwnd)) {
      hiddenWhileMinimized_.push_back(hwnd);
      ShowWindow(hwnd, SW_HIDE);
    }
  }
  ShowWindow(hwnd_, SW_MINIMIZE);
}

void TApplication::Restore() {
  ShowWindow(hwnd_, SW_RESTORE);
  const std::vector<HWND> hidden = std::move(hiddenWhileMinimized_);
  hiddenWhileMinimized_.clear();
  for (HWND hwnd : hidden)
    if (IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
  PostMessageA(hwnd_, kActivateForm, 0, 0);
}

void TApplication::ShowErrorMessage(const std::string& message) {
  ShowMessageBox(ErrorBoxText(message), MB_OK | MB_ICONSTOP);
}

bool TApplication::ShowErrorMessage(const std::string& message, const std::string& question) {
  // Enter answers "No": the window stays open, as it did before the question.
  return ShowMessageBox(ErrorBoxText(message) + "\n\n" + question, MB_YESNO | MB_ICONSTOP | MB_DEFBUTTON2) == IDYES;
}

int TApplication::ShowMessageBox(const std::string& text, UINT type) {
  // The box is owned by the hidden application window, which the system alone
  // would disable; the forms are disabled here so they see it as modal too.
  int pressed = 0;
  {
    const ReEnableOnExit reEnable(DisableForms(nullptr));
    pressed = MessageBoxA(hwnd_, text.c_str(), title_.c_str(), type);
  }
  // The box hands the activation back to its owner, this window, while the
  // forms were still disabled.
  if (hwnd_) PostMessageA(hwnd_, kActivateForm, 0, 0);
  return pressed;
}

LRESULT TApplication::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ENABLE:
      // A dialog owned by this window (file dialog, folder browser) disabled
      // it: the forms follow, and come back with it.
      if (!wParam) {
        if (disabledForOwnDialog_.empty()) disabledForOwnDialog_ = DisableForms(nullptr);
      } else {
        const std::vector<HWND> windows = std::move(disabledForOwnDialog_);
        disabledForOwnDialog_.clear();
        EnableWindows(windows);
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(hwnd_, kActivateForm, 0, 0);
      return 0;
    case kActivateForm:
      if (GetActiveWindow() != hwnd_) return 0;
      for (AppForm* form : {activeForm_, mainForm_}) {
        const HWND hwnd = form ? form->FormWindow() : nullptr;
        if (hwnd && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
          SetActiveWindow(hwnd);
          break;
        }
      }
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
          Minimize();
          return 0;
        case SC_RESTORE:
          Restore();
          return 0;
        case SC_CLOSE:
          if (mainForm_) PostMessageA(mainForm_->FormWindow(), WM_CLOSE, 0, 0);
          return 0;
        default:
          return DefaultProc(message, wParam, lParam);
      }
    case WM_CLOSE:
      if (mainForm_) PostMessageA(mainForm_->FormWindow(), WM_CLOSE, 0, 0);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The system ends the process itself once every window has had this;
      // exiting here could come before the main window's own handling.
      return 0;
    default:
      return DefaultProc(message, wParam, lParam);
  }
}

}  // namespace quilbo
