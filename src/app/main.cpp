// Start-up and shut-down of the program.
#include <windows.h>

#include "app/application.h"
#include "ui/about_form.h"
#include "ui/main_form.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  using quilbo::Application;
  try {
    // Hints on for every form, before any form exists.
    Application.ShowHint = true;
    Application.Initialize();

    quilbo::TForm2 form2;  // made before the main window, created after it
    quilbo::TForm1 form1;
    Application.SetMainForm(&form1);
    form1.Create(&form2);
    form2.Create();
    Application.Run(showCommand);
  } catch (const std::exception& error) {
    // Start-up itself failed (a window could not be made): say so and end.
    Application.ShowException(error);
    return 1;
  }
  return 0;
}
