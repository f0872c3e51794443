#pragma once
// TForm1, the main window: the option controls, the live command line, the
// file pickers, the launch buttons and the menu.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "options/number_check.h"
#include "options/option_set.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/open_dialog.h"
#include "ui/range_field.h"
#include "ui/status_bar.h"
#include "ui/tooltip.h"

namespace quilbo {

class TForm2;

class TForm1 : public TForm {
 public:
  TForm1();
  ~TForm1() override;

  // Creates the window and its controls, then runs FormCreate.
  void Create(TForm2* aboutBox);
  // The one close path: FormClose first; a failure there keeps the window open.
  void Close();

  // The idle handler installed by FormCreate.
  void AppIdle();
  // Reads the controls, composes the parameter string and shows it in Edit2.
  void UpdateCommandLine();
  TOptionSet ReadOptions() const;
  TNumberTexts ReadNumberTexts() const;
  // A close request came while the folder browser was open.
  bool CloseRequested() const { return closeAfterBrowser_; }
  // The close of such a request, once the browser has gone.
  void CloseIfAskedDuringBrowser();

  TFont Font;  // made before the controls, released after them
  // Controls, named as everywhere else in the program.
  TGroupBox GroupBox1, GroupBox2, GroupBox3;
  TRadioButton RadioButton1, RadioButton2, RadioButton3;
  TRangeField SpinEdit1, SpinEdit2, SpinEdit3, SpinEdit4, SpinEdit5;
  TCheckBox CheckBox1, CheckBox2, CheckBox3, CheckBox4;
  TEdit Edit1, Edit2, Edit3;
  TPictureButton BitBtn1, BitBtn2;
  TPushButton Button1, Button2, Button3;
  TStatusBar StatusBar1;
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
  void RadioButton1Click();
  void RadioButton2Click();
  void RadioButton3Click();
  void BitBtn1Click();
  void BitBtn2Click();
  void CheckBox2Click();
  void CheckBox4Click();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Exit1Click();
  void About1Click();
  // The settings commands and steps (main_form_settings.cpp).
  void RunMinimized1Click();
  void RemoveREGsettings1Click();
  void ReSelectNormalizeDirectory1Click();
  void LoadSettings();
  void SaveSettings();
  // The save when Windows ends the session: errors are dropped, not shown.
  void SaveSettingsAtSessionEnd();

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void SelectOnly(const TRadioButton& selected);
  void Command(WORD id, WORD code);
  void CentreOnDesktop();
  // The input file chosen, in the dialog or by a drop.
  void TakeInputFile(const std::string& path);
  // Records the control's bounds at 96 dpi and returns them at the window's DPI.
  Bounds Laid(TControl& control, Bounds design);
  // The window, its controls and font made for `dpi`, in `outer` when given.
  void ChangeDpi(int dpi, const RECT* outer);
  int FolderPicture() const;
  void SetIcons();
  void StartTool();

  std::vector<TControl*> commandControls_;
  struct LaidControl {
    TControl* control;
    Bounds design;  // at 96 dpi
  };
  std::vector<LaidControl> layout_;
  int dpi_ = kDesignDpi;
  TIcon bigIcon_, smallIcon_;  // the window's, made for its DPI
  bool closed_ = false;
  bool closeAfterBrowser_ = false;
  TForm2* aboutBox_ = nullptr;
  bool sizeLocked_ = false;
  SIZE lockedSize_{};  // the laid-out outer size for the DPI, locked once sizeLocked_
  bool shownBefore_ = false;

  template <class T>
  friend LRESULT CALLBACK WindowThunk(HWND, UINT, WPARAM, LPARAM);
};

}  // namespace quilbo
