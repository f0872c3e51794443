#pragma once
// The application object: the application window (zero size, title, icon,
// task-bar button, owner of the message boxes and the system dialogs), the
// hint switch, the idle handler slot and the message loop, the list of forms,
// and the one error display.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/window.h"

namespace quilbo {

// What the application needs of each of the program's forms, which register
// themselves here; the application never reaches into a form beyond this.
class AppForm {
 public:
  virtual HWND FormWindow() const = 0;
  // Called by the message loop for messages to this form or its controls;
  // true when the message has been dealt with.
  virtual bool PreTranslateMessage(MSG& message) = 0;
  // Remembers the control with the focus, before the form is disabled.
  virtual void SaveFocus() = 0;

 protected:
  ~AppForm() = default;
};

class TApplication : public TWindow {
 public:
  // Hints (tooltips) of every form; set before the first form is created.
  bool ShowHint = false;
  // Called once each time the message queue has been emptied.
  std::function<void()> OnIdle;

  // Creates the application window, titled after the executable.
  void Initialize();

  // The main form: the one shown by Run, whose closing ends the program.
  void SetMainForm(AppForm* form) { mainForm_ = form; }
  AppForm* MainForm() const { return mainForm_; }
  void AddForm(AppForm* form);
  void RemoveForm(AppForm* form);
  void FormActivated(AppForm* form) { activeForm_ = form; }

  // Shows the main form as the show command asks and runs the message loop
  // until the program ends.
  void Run(int showCommand);
  // One turn of the loop: a queued message, or else an idle pass and a wait.
  void RunLoopOnce();
  bool Terminated() const { return terminated_; }
  // Ends the message loops; the main form is not shown if it was not yet.
  void Terminate();

  // Disables the visible, enabled forms (all but `except`) and returns them, so
  // a modal window can re-enable exactly those afterwards.
  std::vector<HWND> DisableForms(const AppForm* except);
  static void EnableWindows(const std::vector<HWND>& windows);

  // Shows the application window (still at zero size) with the first form shown.
  void ShowApplicationWindow();
  void Minimize();
  void Restore();

  // The error display: a message box with the message, the title as caption
  // and a stop icon.
  void ShowErrorMessage(const std::string& message);
  // The same with a yes-or-no question after the message; true for yes.
  bool ShowErrorMessage(const std::string& message, const std::string& question);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  int ShowMessageBox(const std::string& text, UINT type);
  bool ProcessMessage();
  void Idle();
  AppForm* FormOf(HWND hwnd) const;

  std::string title_;
  AppForm* mainForm_ = nullptr;
  AppForm* activeForm_ = nullptr;
  std::vector<AppForm*> forms_;
  std::vector<HWND> disabledForOwnDialog_;
  std::vector<HWND> hiddenWhileMinimized_;
  bool terminated_ = false;
};

extern TApplication Application;

}  // namespace quilbo
