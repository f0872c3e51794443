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

class TForm;

class TApplication : public TWindow {
 public:
  // Hints (tooltips) of every form; set before the first form is created.
  bool ShowHint = false;
  // Called once each time the message queue has been emptied.
  std::function<void()> OnIdle;

  // Creates the application window, titled after the executable.
  void Initialize();

  // The main form: the one shown by Run, whose closing ends the program.
  void SetMainForm(TForm* form) { mainForm_ = form; }
  TForm* MainForm() const { return mainForm_; }
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  void FormActivated(TForm* form) { activeForm_ = form; }

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
  std::vector<HWND> DisableForms(const TForm* except);
  static void EnableWindows(const std::vector<HWND>& windows);

  // Shows the application window (still at zero size) with the first form shown.
  void ShowApplicationWindow();
  void Minimize();
  void Restore();

  // The error display: a message box with the message, the title as caption
  // and a stop icon.
  void ShowErrorMessage(const std::string& message);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool ProcessMessage();
  void Idle();
  TForm* FormOf(HWND hwnd) const;

  std::string title_;
  TForm* mainForm_ = nullptr;
  TForm* activeForm_ = nullptr;
  std::vector<TForm*> forms_;
  std::vector<HWND> disabledForOwnDialog_;
  std::vector<HWND> hiddenWhileMinimized_;
  bool terminated_ = false;

  template <class T>
  friend LRESULT CALLBACK WindowThunk(HWND, UINT, WPARAM, LPARAM);
};

extern TApplication Application;

}  // namespace quilbo
