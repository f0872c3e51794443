// The program under test: started, found, driven and ended.
#include "harness/harness.h"
#include "harness/internal.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace e2e {

using namespace detail;

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

std::string App::NextMessage() {
  const HWND box = WaitForDialog();
  if (!box) return "(no message box)";
  const std::string text = MessageBoxText(box);
  OkDialog(box);
  WaitForNoDialog();
  return text;
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
