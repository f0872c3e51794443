#pragma once
// TForm1, the main window: the option controls, the live command line, the
// file pickers, the launch buttons and the menu, made from the rows of
// ui/main_form_table.h.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "options/number_check.h"
#include "options/option_set.h"
#include "ui/form.h"
#include "ui/main_form_table.h"
#include "ui/open_dialog.h"
#include "ui/range_field.h"
#include "ui/status_bar.h"
#include "ui/tooltip.h"
#include "win/controls.h"
#include "win/gdi.h"

namespace quilbo {

class TForm2;

class TForm1 : public TForm, public TForm1Handlers {
 public:
  // It takes dropped files; shell32, which reads them, is loaded at the first drop.
  static constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS;
  static constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;

  TForm1() = default;
  ~TForm1() override;

  // Creates the window and its controls, then runs FormCreate.
  void Create(TForm2* aboutBox);
  // The one close path: FormClose first; when it fails, the window stays
  // open unless the user chooses to close without saving.
  void Close();
  void CloseWithoutSaving();

  // The idle handler installed by FormCreate.
  void AppIdle();
  // Reads the controls, composes the parameter string and shows it in Edit2.
  void UpdateCommandLine();
  TOptionSet ReadOptions() const;
  // The numeric fields' texts, with what of `options` their checks need.
  TNumberTexts ReadNumberTexts(const TOptionSet& options) const;
  // A close request came while the folder browser was open.
  bool CloseRequested() const { return closeAfterBrowser_; }
  // The close of such a request, once the browser has gone.
  void CloseIfAskedDuringBrowser();

  // The control of `id` (IDC_...), as the kind its row makes it; Find gives
  // null while it is not made yet.
  template <class T>
  T* Find(int id) const {
    return dynamic_cast<T*>(ControlOf(id));
  }
  template <class T>
  T& Get(int id) const {
    if (T* control = Find<T>(id)) return *control;
    throw std::logic_error("The main window has no such control: " + std::to_string(id));
  }

  TToolTip ToolTip1;
  TOpenDialog OpenDialog1;

  bool RunMinimizedChecked() const;
  void SetRunMinimizedChecked(bool checked);

  // Handlers.
  void FormCreate();
  void FormClose();
  void FormDblClick();
  // Files dropped on the window: the first, a WAV file, becomes the input.
  void FormDropFiles(HDROP drop);
  void RadioButton1Click() override;
  void RadioButton2Click() override;
  void RadioButton3Click() override;
  void BitBtn1Click() override;
  void BitBtn2Click() override;
  void CheckBox2Click() override;
  void CheckBox4Click() override;
  void Button1Click() override;
  void Button2Click() override;
  void Button3Click() override;
  void Exit1Click() override;
  void About1Click() override;
  // The settings commands and steps (main_form_settings.cpp).
  void RunMinimized1Click() override;
  void RemoveREGsettings1Click() override;
  void ReSelectNormalizeDirectory1Click() override;
  void LoadSettings();
  void SaveSettings();
  // The save when Windows ends the session: errors are dropped, not shown.
  void SaveSettingsAtSessionEnd();

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // At the window's current place, the laid-out outer size for `dpi`.
  RECT PlaceAtDpi(int dpi) const override;
  // The pictures, icons and hint areas for the new DPI.
  void DpiChanged() override;
  void CreateControls();
  TControl* ControlOf(int id) const;
  // The row of one of the window's controls; null for any other window.
  const ControlRow* RowOf(HWND control) const;
  void SelectOnly(int radioId);
  void Command(WORD id, WORD code);
  void CentreOnDesktop();
  // The input file chosen, in the dialog or by a drop.
  void TakeInputFile(const std::string& path);
  int FolderPicture() const;
  void SetIcons();
  void StartTool();

  std::vector<std::unique_ptr<TControl>> controls_;  // one per row of MainFormRows(), in its order
  TIcon bigIcon_, smallIcon_;  // the window's, made for its DPI
  bool closed_ = false;
  bool closeAfterBrowser_ = false;
  TForm2* aboutBox_ = nullptr;
  bool sizeLocked_ = false;  // at laidOutSize_
};

}  // namespace quilbo
