// The settings steps and commands of the main window. Until the registry store
// is wired in, nothing is loaded or saved.
#include "ui/main_form.h"

namespace quilbo {

void TForm1::LoadSettings() {}

void TForm1::SaveSettings() {}

void TForm1::RunMinimized1Click() { SetRunMinimizedChecked(!RunMinimizedChecked()); }

void TForm1::RemoveREGsettings1Click() { Close(); }

void TForm1::ReSelectNormalizeDirectory1Click() {}

}  // namespace quilbo
