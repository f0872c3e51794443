#include "ui/main_form.h"

#include <algorithm>
#include <stdexcept>

#include "launch/launch_tool.h"
#include "options/dropped_file.h"
#include "options/start_check.h"
#include "ui/about_form.h"
#include "ui/application.h"
#include "ui/control_ids.h"
#include "win/dropped_files.h"
#include "win/folder_browser.h"

namespace quilbo {
namespace {

constexpr char kTitle[] = "Quilbo-FE (4Normalize by Orvandel)";

}  // namespace

TForm1::~TForm1() { DestroyHandle(); }

void TForm1::Create(TForm2* aboutBox) {
  aboutBox_ = aboutBox;
  static const WindowClass kClass{QUILBO_FORM1_CLASS, CS_DBLCLKS,
                                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)};
  TMenu menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_MAINMENU)));
  // Owned by the application window, which carries the task-bar button.
  CreateForm(kClass, kTitle, kStyle, kExStyle, menu.Get());
  menu.Release();  // the window's now
  CreateControls();
  // An error ends the creation handler, not the start-up.
  Guarded([this] {
    FormCreate();
    CloseIfAskedDuringBrowser();
  });
  // Placed before it is first shown, however it is shown: a maximised first
  // showing restores to the centre too, and later showings keep its place.
  CentreOnDesktop();
}

void TForm1::FormCreate() {
  Application.OnIdle = [this] { AppIdle(); };
  LoadSettings();
  RECT outer{};
  GetWindowRect(hwnd_, &outer);
  laidOutSize_ = SIZE{outer.right - outer.left, outer.bottom - outer.top};
  sizeLocked_ = true;
  Get<TPushButton>(IDC_BUTTON2).SetEnabled(false);
}

void TForm1::Close() {
  if (closed_) return;
  try {
    FormClose();
  } catch (const std::exception& error) {
    // A save that keeps failing must not keep the program open for good.
    if (!Application.ShowErrorMessage(error.what(), "Close without saving?")) return;
  }
  CloseWithoutSaving();
}

void TForm1::CloseWithoutSaving() {
  closed_ = true;
  Application.Terminate();
}

void TForm1::CloseIfAskedDuringBrowser() {
  if (!closeAfterBrowser_) return;
  closeAfterBrowser_ = false;
  Close();
}

void TForm1::FormClose() { SaveSettings(); }

void TForm1::FormDblClick() {}

void TForm1::AppIdle() { UpdateCommandLine(); }

void TForm1::UpdateCommandLine() {
  const std::string line = BuildCommandLine(ReadOptions());
  // Unchanged text is left alone, so a selection in the field survives.
  TEdit& commandLine = Get<TEdit>(IDC_EDIT2);
  if (commandLine.Text() != line) commandLine.SetText(line);
}

bool TForm1::RunMinimizedChecked() const {
  return (GetMenuState(GetMenu(hwnd_), IDM_RUNMINIMIZED1, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TForm1::SetRunMinimizedChecked(bool checked) {
  CheckMenuItem(GetMenu(hwnd_), IDM_RUNMINIMIZED1,
                MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TForm1::SelectOnly(int radioId) {
  for (const ControlRow& row : MainFormRows())
    if (row.kind == ControlKind::RadioButton && row.id != radioId)
      Get<TRadioButton>(row.id).SetChecked(false);
}

void TForm1::RadioButton1Click() { SelectOnly(IDC_RADIOBUTTON1); }

void TForm1::RadioButton2Click() { SelectOnly(IDC_RADIOBUTTON2); }

void TForm1::RadioButton3Click() { SelectOnly(IDC_RADIOBUTTON3); }

void TForm1::BitBtn2Click() {
  if (!OpenDialog1.Execute(Application.Handle(), hwnd_)) return;
  TakeInputFile(OpenDialog1.FileName());
}

void TForm1::TakeInputFile(const std::string& path) {
  TCheckBox& multiTasking = Get<TCheckBox>(IDC_CHECKBOX2);
  Get<TPushButton>(IDC_BUTTON1).SetEnabled(true);
  if (multiTasking.Checked()) Get<TPushButton>(IDC_BUTTON2).SetEnabled(true);
  multiTasking.SetEnabled(true);
  Get<TEdit>(IDC_EDIT3).SetText(path);
}

void TForm1::FormDropFiles(HDROP drop) {
  const TDroppedFiles files(drop);
  // While a modal window is open the main window is disabled and takes no drop.
  if (!IsWindowEnabled(hwnd_) || files.Count() == 0) return;
  const std::string path = files.Name(0);  // the rest of a drop of several is ignored
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A folder is taken when it holds a WAV file: the tool works on each of them.
  const auto names = folder ? FileNamesIn(path) : std::vector<std::string>{};
  const bool folderHasWav =
      std::any_of(names.begin(), names.end(), [](const std::string& name) { return EndsInWav(name); });
  const TDropRefusal refusal = JudgeDroppedFile(path, folder, folderHasWav);
  if (refusal != TDropRefusal::None) throw std::runtime_error(DropRefusalMessage(refusal, path, SystemCharacters(path)));
  TakeInputFile(path);
}

void TForm1::BitBtn1Click() {
  if (!OpenDialog1.Execute(Application.Handle(), hwnd_)) return;
  Get<TEdit>(IDC_EDIT1).SetText(OpenDialog1.FileName());
}

void TForm1::CheckBox4Click() {
  if (Get<TCheckBox>(IDC_CHECKBOX4).Checked() && Get<TEdit>(IDC_EDIT1).Text() == kOutputPlaceholder)
    BitBtn1Click();
}

void TForm1::CheckBox2Click() {
  Get<TPushButton>(IDC_BUTTON2).SetEnabled(Get<TCheckBox>(IDC_CHECKBOX2).Checked());
}

// Throws, leaving the buttons as they are, when the command line must not be
// started (StartRefusal) or the shell cannot start the tool.
void TForm1::StartTool() {
  const TOptionSet options = ReadOptions();
  if (const auto message = StartRefusal(ReadNumberTexts(options), options.outputEnabled, options.outputPath))
    throw std::runtime_error(*message);
  LaunchTool(hwnd_, Get<TEdit>(IDC_EDIT2).Text(), RunMinimizedChecked());
}

// The launch buttons check their own state: a click message can be posted to
// a disabled button, and one start per enabling is the rule.
void TForm1::Button1Click() {
  TPushButton& go = Get<TPushButton>(IDC_BUTTON1);
  if (!go.Enabled()) return;
  if (!Get<TCheckBox>(IDC_CHECKBOX2).Checked()) StartTool();
  go.SetEnabled(false);
}

void TForm1::Button2Click() {
  TPushButton& process = Get<TPushButton>(IDC_BUTTON2);
  if (!process.Enabled()) return;
  StartTool();
  Get<TCheckBox>(IDC_CHECKBOX2).SetChecked(false);
  Get<TPushButton>(IDC_BUTTON1).SetEnabled(false);
  process.SetEnabled(false);
}

void TForm1::Button3Click() { Close(); }

void TForm1::Exit1Click() { Close(); }

void TForm1::About1Click() {
  if (aboutBox_) aboutBox_->ShowModal();
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ENABLE:
      // Disabled or re-enabled around a modal window: recompose at once.
      UpdateCommandLine();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (sizeLocked_) {
        info->ptMinTrackSize = info->ptMaxTrackSize = info->ptMaxSize =
            POINT{laidOutSize_.cx, laidOutSize_.cy};
        return 0;
      }
      // Scaled up, the window may be larger than the screen: the system's
      // limit would cut it below its laid-out size.
      DefWindowProcA(hwnd_, message, wParam, lParam);
      info->ptMaxTrackSize.x = std::max(info->ptMaxTrackSize.x, laidOutSize_.cx);
      info->ptMaxTrackSize.y = std::max(info->ptMaxTrackSize.y, laidOutSize_.cy);
      return 0;
    }
    case WM_SHOWWINDOW:
      if (wParam) Application.ShowApplicationWindow();
      break;
    case WM_CTLCOLOREDIT:
      if (const ControlRow* row = RowOf(reinterpret_cast<HWND>(lParam)); row && (row->state & kMenuBackground)) {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_MENU));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_MENU));
      }
      break;
    case WM_NCHITTEST: {
      // The status bar's size grip is a corner of the sizing border.
      const LRESULT hit = DefWindowProcA(hwnd_, message, wParam, lParam);
      const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      const TStatusBar* bar = Find<TStatusBar>(IDC_STATUSBAR1);
      return hit == HTCLIENT && bar && bar->OnGrip(point) ? HTBOTTOMRIGHT : hit;
    }
    case WM_LBUTTONDBLCLK:
      FormDblClick();
      return 0;
    case WM_DROPFILES:
      FormDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        Application.Minimize();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The folder browser runs the system's own loop: it ends as a cancel,
      // and the close follows once it has gone.
      if (CancelFolderBrowser()) {
        closeAfterBrowser_ = true;
        return 0;
      }
      Close();
      return 0;
    case WM_ENDSESSION:
      // Windows ends the program without closing the window: the run's
      // settings are kept all the same.
      if (wParam) SaveSettingsAtSessionEnd();
      return 0;
    default:
      break;
  }
  return FormDefault(message, wParam, lParam);
}

}  // namespace quilbo
