// TForm1's settings commands and steps: the store's algorithms run against the
// Windows registry and this window's controls.
#include <exception>
#include <stdexcept>
#include <string>

#include "ui/application.h"
#include "launch/launch_tool.h"
#include "launch/tool_dir.h"
#include "win/folder_browser.h"
#include "settings/settings_store.h"
#include "settings/win_registry.h"
#include "ui/main_form.h"

namespace quilbo {
namespace {

// Said once per run: every later store would only say it again.
bool notStoredSaid = false;

// The window's controls as the settings store sees them. Everything goes
// through the controls' own setters, so their click handlers run as on a click.
class FormSettingsView : public SettingsView {
 public:
  explicit FormSettingsView(TForm1& form) : form_(form) {}

  void SetNumber(NumericOption field, std::int64_t value) override { Field(field).SetValue(value); }
  std::int32_t Number(NumericOption field) const override { return Field(field).Value(); }

  void SetFlag(FlagOption box, bool ticked) override { Box(box).SetChecked(ticked); }
  bool Flag(FlagOption box) const override { return Box(box).Checked(); }

  void SelectMode(TAmplifyMode mode) override { Radio(mode).SetChecked(true); }
  bool ModeSelected(TAmplifyMode mode) const override { return Radio(mode).Checked(); }

  void SetRunMinimized(bool checked) override { form_.SetRunMinimizedChecked(checked); }
  bool RunMinimized() const override { return form_.RunMinimizedChecked(); }

  void SetToolDir(const std::string& dir) override { ToolDir = dir; }
  std::string ChooseFolder(const std::string& title, int flags) override {
    // Owned by the application window, so that the application's own reaction
    // disables the main window around it. A folder that cannot be used is
    // refused here and counts as no choice.
    return Guarded([&] { return BrowseForFolder(Application.Handle(), title, static_cast<UINT>(flags)); });
  }
  bool CloseRequested() const override { return form_.CloseRequested(); }
  std::size_t PathCharacters(const std::string& path) const override {
    return SystemCharacters(path);
  }

  void ReportLoadError(const std::string& message) override { Application.ShowErrorMessage(message); }
  void ReportNotStored(const std::string& message) const override {
    if (notStoredSaid) return;
    notStoredSaid = true;
    Application.ShowErrorMessage(message);
  }

 private:
  TRangeField& Field(NumericOption field) const { return Stored<TRangeField>(RowStoredAs(StoredName(field))); }
  TCheckBox& Box(FlagOption box) const { return Stored<TCheckBox>(RowStoredAs(StoredName(box))); }
  TRadioButton& Radio(TAmplifyMode mode) const { return Stored<TRadioButton>(RowForMode(mode)); }

  template <class T>
  T& Stored(const ControlRow* row) const {
    if (!row) throw std::logic_error("A stored value has no control");
    return form_.Get<T>(row->id);
  }

  TForm1& form_;
};

}  // namespace

void TForm1::LoadSettings() {
  WinRegistry registry;
  FormSettingsView view(*this);
  quilbo::LoadSettings(registry, view);
}

void TForm1::SaveSettings() {
  WinRegistry registry;
  FormSettingsView view(*this);
  quilbo::SaveSettings(registry, view);
}

void TForm1::SaveSettingsAtSessionEnd() {
  // Windows is ending the session: a message box now would only hold it up,
  // so a failed write is dropped.
  try {
    SaveSettings();
  } catch (...) {
  }
}

void TForm1::RunMinimized1Click() {
  WinRegistry registry;
  FormSettingsView view(*this);
  ToggleRunMinimized(registry, view);
}

void TForm1::RemoveREGsettings1Click() {
  WinRegistry registry;
  // What survived keeps what it held: this run's options are not saved over it.
  if (const auto failure = RemoveSettings(registry)) {
    Application.ShowErrorMessage(*failure);
    CloseWithoutSaving();
    return;
  }
  Close();
}

void TForm1::ReSelectNormalizeDirectory1Click() {
  WinRegistry registry;
  FormSettingsView view(*this);
  ReselectToolDir(registry, view);
  CloseIfAskedDuringBrowser();
}

}  // namespace quilbo
