// Start-up and shut-down of the program, and where its errors are shown.
#include <windows.h>

#include <string>

#include "ui/about_form.h"
#include "ui/application.h"
#include "ui/main_form.h"
#include "win/named_mutex.h"
#include "win/window.h"

namespace {
// The installer and the uninstaller refuse to touch the program's files while
// a mutex of this name exists (installer/quilbo.nsi names it too). Global: a
// copy running in another user's session counts as well.
constexpr char kRunningMutexName[] = "Global\\Quilbo-FE.Running";
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  using quilbo::Application;
  const quilbo::TNamedMutex running(kRunningMutexName);
  quilbo::SetErrorDisplay([](const std::string& message) { Application.ShowErrorMessage(message); });
  int exitCode = 1;  // start-up itself failed (a window could not be made): shown, and the end
  quilbo::Guarded([&] {
    // Hints on for every form, before any form exists.
    Application.ShowHint = true;
    Application.Initialize();

    quilbo::TForm2 form2;  // made before the main window, created after it
    quilbo::TForm1 form1;
    Application.SetMainForm(&form1);
    form1.Create(&form2);
    form2.Create();
    Application.Run(showCommand);
    exitCode = 0;
  });
  return exitCode;
}
