// TForm1's settings commands and steps: the store's algorithms run against the
// Windows registry and this window's controls.
#include <exception>
#include <string>

#include "ui/application.h"
#include "launch/launch_tool.h"
#include "launch/tool_dir.h"
#include "settings/choose_folder.h"
#include "settings/settings_store.h"
#include "settings/win_registry.h"
#include "ui/main_form.h"

namespace quilbo {
namespace {

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
    // A folder that cannot be used is refused here and counts as no choice.
    return Guarded([&] { return quilbo::ChooseFolder(Application.Handle(), title, static_cast<UINT>(flags)); });
  }
  bool CloseRequested() const override { return form_.CloseRequested(); }
  std::size_t PathCharacters(const std::string& path) const override {
    return SystemCharacters(path);
  }

  void ReportLoadError(const std::string& message) override { Application.ShowErrorMessage(message); }

 private:
  TRangeField& Field(NumericOption field) const {
    switch (field) {
      case NumericOption::Ratio: return form_.SpinEdit1;
      case NumericOption::Level: return form_.SpinEdit2;
      case NumericOption::Percent: return form_.SpinEdit3;
      case NumericOption::Size: return form_.SpinEdit5;
      case NumericOption::XLevel: break;
    }
    return form_.SpinEdit4;
  }

  TCheckBox& Box(FlagOption box) const {
    switch (box) {
      case FlagOption::MultiTasking: return form_.CheckBox2;
      case FlagOption::BufferSize: return form_.CheckBox1;
      case FlagOption::AbortLevel: break;
    }
    return form_.CheckBox3;
  }

  TRadioButton& Radio(TAmplifyMode mode) const {
    switch (mode) {
      case TAmplifyMode::amRatio: return form_.RadioButton1;
      case TAmplifyMode::amLevel: return form_.RadioButton2;
      case TAmplifyMode::amPercent: break;
    }
    return form_.RadioButton3;
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
  RemoveSettings(registry);
  Close();
}

void TForm1::ReSelectNormalizeDirectory1Click() {
  WinRegistry registry;
  FormSettingsView view(*this);
  ReselectToolDir(registry, view);
  CloseIfAskedDuringBrowser();
}

}  // namespace quilbo
