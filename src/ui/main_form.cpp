#include "ui/main_form.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "ui/app_text.h"
#include "ui/application.h"
#include "launch/launch_tool.h"
#include "options/dropped_file.h"
#include "options/number_check.h"
#include "settings/choose_folder.h"
#include "ui/about_form.h"
#include "ui/control_ids.h"
#include "win/dpi.h"
#include "win/dropped_files.h"

namespace quilbo {
namespace {

constexpr char kTitle[] = "Quilbo-FE (4Normalize by Orvandel)";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;
constexpr int kWidth = 648;  // at 96 dpi
constexpr int kHeight = 273;
constexpr int kFontPoints = 8;
constexpr char kOutputPlaceholder[] = "Select Output File!";

}  // namespace

TForm1::TForm1()
    : SpinEdit1({-100, 100}, 0),
      SpinEdit2({-30, 30}, 0),
      SpinEdit3({-100, 100}, 100),
      SpinEdit4({0, 30}, 0),
      SpinEdit5({16, 16384}, 64) {}

TForm1::~TForm1() { DestroyHandle(); }

void TForm1::Create(TForm2* aboutBox) {
  aboutBox_ = aboutBox;
  const HINSTANCE instance = GetModuleHandleA(nullptr);

  WNDCLASSEXA windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = QUILBO_FORM1_CLASS;
  RegisterWindowClass(windowClass, &WindowThunk<TForm1>);

  TMenu menu(LoadMenuA(instance, MAKEINTRESOURCEA(IDM_MAINMENU)));
  // Owned by the application window, which carries the task-bar button. It
  // takes dropped files; shell32, which reads them, is loaded at the first drop.
  if (!CreateWindowExA(kExStyle, QUILBO_FORM1_CLASS, kTitle, kStyle, 0, 0, kWidth, kHeight,
                       Application.Handle(), menu.Get(), instance, this))
    throw std::runtime_error("Cannot create the main window");
  menu.Release();  // the window's now
  // Laid out for the DPI of the monitor it starts on.
  ChangeDpi(WindowDpi(hwnd_), nullptr);
  CreateControls();
  // An error ends the creation handler, not the start-up.
  Guarded([this] {
    FormCreate();
    CloseIfAskedDuringBrowser();
  });
}

void TForm1::CreateControls() {
  const HFONT font = Font.Handle();
  for (TRangeField* field : {&SpinEdit1, &SpinEdit2, &SpinEdit3, &SpinEdit4, &SpinEdit5})
    field->SetDpi(dpi_);
  // Created in tab order, which is also the order Tab follows. The group frames
  // come after everything inside them, so they lie behind.
  RadioButton1.Create(hwnd_, IDC_RADIOBUTTON1, "-l <Ratio>", Laid(RadioButton1, {18, 18, 65, 17}),
                      font, /*group=*/true, /*checked=*/true);
  RadioButton2.Create(hwnd_, IDC_RADIOBUTTON2, "-a <level>", Laid(RadioButton2, {18, 43, 65, 17}),
                      font, /*group=*/false);
  RadioButton3.Create(hwnd_, IDC_RADIOBUTTON3, "-m <percent>", Laid(RadioButton3, {18, 68, 81, 17}),
                      font, /*group=*/false);
  // Starts a new group, so the arrow keys stay among the three radio buttons.
  SpinEdit1.Create(hwnd_, IDC_SPINEDIT1, Laid(SpinEdit1, {171, 15, 45, 22}), font, /*group=*/true);
  SpinEdit2.Create(hwnd_, IDC_SPINEDIT2, Laid(SpinEdit2, {171, 40, 45, 22}), font);
  SpinEdit3.Create(hwnd_, IDC_SPINEDIT3, Laid(SpinEdit3, {171, 65, 45, 22}), font);
  CheckBox1.Create(hwnd_, IDC_CHECKBOX1, "-b <size>", Laid(CheckBox1, {256, 17, 62, 17}), font);
  SpinEdit4.Create(hwnd_, IDC_SPINEDIT4, Laid(SpinEdit4, {347, 42, 45, 22}), font);
  CheckBox2.Create(hwnd_, IDC_CHECKBOX2, "MultiTasking!", Laid(CheckBox2, {257, 73, 136, 17}),
                   font);
  CheckBox3.Create(hwnd_, IDC_CHECKBOX3, "-x <level>", Laid(CheckBox3, {256, 44, 65, 17}), font);
  SpinEdit5.Create(hwnd_, IDC_SPINEDIT5, Laid(SpinEdit5, {337, 14, 55, 22}), font);
  Edit1.Create(hwnd_, IDC_EDIT1, kOutputPlaceholder, Laid(Edit1, {78, 146, 470, 21}), font);
  BitBtn1.Create(hwnd_, IDC_BITBTN1, FolderPicture(), Laid(BitBtn1, {563, 144, 28, 25}));
  CheckBox4.Create(hwnd_, IDC_CHECKBOX4, "-o <file>", Laid(CheckBox4, {16, 149, 58, 17}), font);
  GroupBox1.Create(hwnd_, IDC_GROUPBOX1, "Amplification Options",
                   Laid(GroupBox1, {6, 1, 221, 95}), font);
  GroupBox2.Create(hwnd_, IDC_GROUPBOX2, "Misc. Options", Laid(GroupBox2, {243, 1, 164, 95}), font);
  Edit2.Create(hwnd_, IDC_EDIT2, "Command Line", Laid(Edit2, {14, 174, 615, 21}), font);
  Button1.Create(hwnd_, IDC_BUTTON1, "Go!", Laid(Button1, {554, 0, 75, 25}), font);
  Edit3.Create(hwnd_, IDC_EDIT3, "Select Input File!", Laid(Edit3, {78, 117, 470, 21}), font);
  BitBtn2.Create(hwnd_, IDC_BITBTN2, FolderPicture(), Laid(BitBtn2, {563, 115, 28, 25}));
  GroupBox3.Create(hwnd_, IDC_GROUPBOX3, "Input/Output", Laid(GroupBox3, {6, 103, 629, 101}),
                   font);
  Button2.Create(hwnd_, IDC_BUTTON2, "Process", Laid(Button2, {553, 36, 75, 25}), font);
  Button3.Create(hwnd_, IDC_BUTTON3, "Leave", Laid(Button3, {553, 71, 75, 25}), font);
  StatusBar1.Create(hwnd_, IDC_STATUSBAR1, Laid(StatusBar1, {0, 207, 640, 20}));

  // The design state, set before any handler is attached.
  CheckBox2.SetEnabled(false);
  Button1.SetEnabled(false);
  Button2.SetEnabled(false);

  RadioButton1.SetHint("Ratio|don't find peaks but multiply each sample by <ratio>");
  RadioButton2.SetHint("Level|Don't find peaks; amplify by <level> (given in dB)");
  RadioButton3.SetHint("Percent|Normalize to <percent> (default 100)");
  CheckBox1.SetHint("Buffer Size|Specify I/O buffer size (in KB; 16..16384; default 64)");
  CheckBox2.SetHint("Process|UnChecked = Secuencial processing, Checked Multitasking!");
  CheckBox3.SetHint("Level|Abort if gain increase is smaller than <level> (in dB)");
  CheckBox4.SetHint("File|Write output to <file> (instead of overwriting original)");

  ToolTip1.Attach(hwnd_, 500, 2500);
  for (const TControl* control : {static_cast<const TControl*>(&RadioButton1),
                                  static_cast<const TControl*>(&RadioButton2),
                                  static_cast<const TControl*>(&RadioButton3),
                                  static_cast<const TControl*>(&CheckBox1),
                                  static_cast<const TControl*>(&CheckBox2),
                                  static_cast<const TControl*>(&CheckBox3),
                                  static_cast<const TControl*>(&CheckBox4)})
    ToolTip1.AddTool(*control, ShortHint(control->Hint()));
  ToolTip1.SetActive(Application.ShowHint);
  toolTip_ = &ToolTip1;

  RadioButton1.OnClick = [this] { RadioButton1Click(); };
  RadioButton2.OnClick = [this] { RadioButton2Click(); };
  RadioButton3.OnClick = [this] { RadioButton3Click(); };
  CheckBox2.OnClick = [this] { CheckBox2Click(); };
  CheckBox4.OnClick = [this] { CheckBox4Click(); };
  BitBtn1.OnClick = [this] { BitBtn1Click(); };
  BitBtn2.OnClick = [this] { BitBtn2Click(); };
  Button1.OnClick = [this] { Button1Click(); };
  Button2.OnClick = [this] { Button2Click(); };
  Button3.OnClick = [this] { Button3Click(); };
  commandControls_ = {&RadioButton1, &RadioButton2, &RadioButton3, &CheckBox1, &CheckBox2,
                      &CheckBox3,    &CheckBox4,    &BitBtn1,      &BitBtn2,   &Button1,
                      &Button2,      &Button3};
}

void TForm1::FormCreate() {
  Application.OnIdle = [this] { AppIdle(); };
  LoadSettings();
  RECT outer{};
  GetWindowRect(hwnd_, &outer);
  lockedSize_ = SIZE{outer.right - outer.left, outer.bottom - outer.top};
  sizeLocked_ = true;
  Button2.SetEnabled(false);
}

void TForm1::Close() {
  if (closed_) return;
  FormClose();  // an error here leaves the window open
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

TOptionSet TForm1::ReadOptions() const {
  TOptionSet options;
  options.mode = RadioButton1.Checked()   ? TAmplifyMode::amRatio
                 : RadioButton2.Checked() ? TAmplifyMode::amLevel
                                          : TAmplifyMode::amPercent;
  options.ratio = SpinEdit1.Value();
  options.level = SpinEdit2.Value();
  options.percent = SpinEdit3.Value();
  options.bufferSizeEnabled = CheckBox1.Checked();
  options.bufferSize = SpinEdit5.Value();
  options.outputEnabled = CheckBox4.Checked();
  options.outputPath = Edit1.Text();
  options.abortEnabled = CheckBox3.Checked();
  options.abortLevel = SpinEdit4.Value();
  options.inputPath = Edit3.Text();
  return options;
}

void TForm1::UpdateCommandLine() {
  const std::string line = BuildCommandLine(ReadOptions());
  // Unchanged text is left alone, so a selection in the field survives.
  if (Edit2.Text() != line) Edit2.SetText(line);
}

bool TForm1::RunMinimizedChecked() const {
  return (GetMenuState(GetMenu(hwnd_), IDM_RUNMINIMIZED1, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TForm1::SetRunMinimizedChecked(bool checked) {
  CheckMenuItem(GetMenu(hwnd_), IDM_RUNMINIMIZED1,
                MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TForm1::SelectOnly(const TRadioButton& selected) {
  for (TRadioButton* button : {&RadioButton1, &RadioButton2, &RadioButton3})
    if (button != &selected) button->SetChecked(false);
}

void TForm1::RadioButton1Click() { SelectOnly(RadioButton1); }

void TForm1::RadioButton2Click() { SelectOnly(RadioButton2); }

void TForm1::RadioButton3Click() { SelectOnly(RadioButton3); }

void TForm1::BitBtn2Click() {
  if (!OpenDialog1.Execute(Application.Handle(), hwnd_)) return;
  TakeInputFile(OpenDialog1.Files().front());
}

void TForm1::TakeInputFile(const std::string& path) {
  Button1.SetEnabled(true);
  if (CheckBox2.Checked()) Button2.SetEnabled(true);
  CheckBox2.SetEnabled(true);
  Edit3.SetText(path);
}

void TForm1::FormDropFiles(HDROP drop) {
  const TDroppedFiles files(drop);
  // While a modal window is open the main window is disabled and takes no drop.
  if (!IsWindowEnabled(hwnd_) || files.Count() == 0) return;
  const std::string path = files.Name(0);  // the rest of a drop of several is ignored
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const TDropRefusal refusal = JudgeDroppedFile(path, folder);
  if (refusal != TDropRefusal::None) throw std::runtime_error(DropRefusalMessage(refusal, path, SystemCharacters(path)));
  TakeInputFile(path);
}

void TForm1::BitBtn1Click() {
  if (!OpenDialog1.Execute(Application.Handle(), hwnd_)) return;
  Edit1.SetText(OpenDialog1.Files().front());
}

void TForm1::CheckBox4Click() {
  if (CheckBox4.Checked() && Edit1.Text() == kOutputPlaceholder) BitBtn1Click();
}

void TForm1::CheckBox2Click() { Button2.SetEnabled(CheckBox2.Checked()); }

TNumberTexts TForm1::ReadNumberTexts() const {
  TNumberTexts texts;
  texts.mode = ReadOptions().mode;
  texts.ratio = SpinEdit1.Text();
  texts.level = SpinEdit2.Text();
  texts.percent = SpinEdit3.Text();
  texts.bufferSizeEnabled = CheckBox1.Checked();
  texts.bufferSize = SpinEdit5.Text();
  texts.abortEnabled = CheckBox3.Checked();
  texts.abortLevel = SpinEdit4.Text();
  return texts;
}

// Throws, leaving the buttons as they are, when a number the command line
// shows does not convert or the shell cannot start the tool.
void TForm1::StartTool() {
  if (const auto message = UnconvertedNumberMessage(ReadNumberTexts()))
    throw std::runtime_error(*message);
  LaunchTool(hwnd_, Edit2.Text(), RunMinimizedChecked());
}

// The launch buttons check their own state: a click message can be posted to
// a disabled button, and one start per enabling is the rule.
void TForm1::Button1Click() {
  if (!Button1.Enabled()) return;
  if (!CheckBox2.Checked()) StartTool();
  Button1.SetEnabled(false);
}

void TForm1::Button2Click() {
  if (!Button2.Enabled()) return;
  StartTool();
  CheckBox2.SetChecked(false);
  Button1.SetEnabled(false);
  Button2.SetEnabled(false);
}

void TForm1::Button3Click() { Close(); }

void TForm1::Exit1Click() { Close(); }

void TForm1::About1Click() {
  if (aboutBox_) aboutBox_->ShowModal();
}

Bounds TForm1::Laid(TControl& control, Bounds design) {
  layout_.push_back({&control, design});
  return ScaleToDpi(design, dpi_);
}

int TForm1::FolderPicture() const {
  constexpr int kPictures[] = {IDB_OPENFOLDER, IDB_OPENFOLDER24, IDB_OPENFOLDER32};
  return kPictures[PickPicture({16, 24, 32}, 16, dpi_)];
}

// The layout is given at 96 dpi. At another DPI the client area, every control
// and the font scale with it, while the frame is what the system draws there:
// at 96 dpi the window is exactly as laid out.
void TForm1::ChangeDpi(int dpi, const RECT* outer) {
  dpi_ = dpi;
  TFont font;
  font.Create("MS Sans Serif", FontHeightForDpi(kFontPoints, dpi));
  for (TRangeField* field : {&SpinEdit1, &SpinEdit2, &SpinEdit3, &SpinEdit4, &SpinEdit5})
    field->SetDpi(dpi);
  for (const LaidControl& laid : layout_) {
    const Bounds bounds = ScaleToDpi(laid.design, dpi);
    SetWindowPos(laid.control->Handle(), nullptr, bounds.left, bounds.top, bounds.width,
                 bounds.height, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(laid.control->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), TRUE);
  }
  Font.Swap(font);  // the old font goes once no control uses it
  ToolTip1.MoveTools();
  if (BitBtn1.Handle()) BitBtn1.SetPicture(FolderPicture());
  if (BitBtn2.Handle()) BitBtn2.SetPicture(FolderPicture());
  SetIcons();

  RECT place{};
  if (outer) {
    place = *outer;
  } else {
    GetWindowRect(hwnd_, &place);
    const SIZE designFrame = FrameSize(kStyle, kExStyle, true, kDesignDpi);
    const SIZE frame = FrameSize(kStyle, kExStyle, true, dpi);
    const Extent size = ScaledOuterSize({kWidth, kHeight}, {designFrame.cx, designFrame.cy},
                                        {frame.cx, frame.cy}, dpi);
    place.right = place.left + size.width;
    place.bottom = place.top + size.height;
  }
  lockedSize_ = SIZE{place.right - place.left, place.bottom - place.top};
  SetWindowPos(hwnd_, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The icons drawn for the DPI's sizes, not shrunk or stretched from another.
void TForm1::SetIcons() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  const struct {
    TIcon& icon;
    WPARAM which;
    int width, height;
  } sizes[] = {{bigIcon_, ICON_BIG, SM_CXICON, SM_CYICON},
               {smallIcon_, ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
  for (const auto& size : sizes) {
    TIcon icon(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_QUILBO), IMAGE_ICON,
                                             SystemMetricForDpi(size.width, dpi_),
                                             SystemMetricForDpi(size.height, dpi_), 0)));
    if (!icon.Get()) continue;
    SendMessageA(hwnd_, WM_SETICON, size.which, reinterpret_cast<LPARAM>(icon.Get()));
    size.icon = std::move(icon);  // the one shown before goes
  }
}

void TForm1::CentreOnDesktop() {
  RECT outer{};
  GetWindowRect(hwnd_, &outer);
  const int left = (GetSystemMetrics(SM_CXVIRTUALSCREEN) - (outer.right - outer.left)) / 2;
  const int top = (GetSystemMetrics(SM_CYVIRTUALSCREEN) - (outer.bottom - outer.top)) / 2;
  SetWindowPos(hwnd_, nullptr, left < 0 ? 0 : left, top < 0 ? 0 : top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::Command(WORD id, WORD code) {
  switch (id) {
    case IDM_RUNMINIMIZED1: RunMinimized1Click(); return;
    case IDM_REMOVEREGSETTINGS1: RemoveREGsettings1Click(); return;
    case IDM_RESELECTNORMALIZEDIRECTORY1: ReSelectNormalizeDirectory1Click(); return;
    case IDM_EXIT1: Exit1Click(); return;
    case IDM_ABOUT1: About1Click(); return;
    default: break;
  }
  // IDOK and IDCANCEL from the dialog navigation land here and do nothing.
  for (TControl* control : commandControls_)
    if (control->Id() == id) {
      control->Notify(code);
      return;
    }
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
            POINT{lockedSize_.cx, lockedSize_.cy};
        return 0;
      }
      // Scaled up, the window may be larger than the screen: the system's
      // limit would cut it below its laid-out size.
      DefWindowProcA(hwnd_, message, wParam, lParam);
      info->ptMaxTrackSize.x = std::max(info->ptMaxTrackSize.x, lockedSize_.cx);
      info->ptMaxTrackSize.y = std::max(info->ptMaxTrackSize.y, lockedSize_.cy);
      return 0;
    }
    case WM_SHOWWINDOW:
      if (wParam && !shownBefore_) {
        shownBefore_ = true;
        CentreOnDesktop();
      }
      if (wParam) Application.ShowApplicationWindow();
      break;
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == Edit2.Handle()) {
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
      return hit == HTCLIENT && StatusBar1.OnGrip(point) ? HTBOTTOMRIGHT : hit;
    }
    case WM_LBUTTONDBLCLK:
      FormDblClick();
      return 0;
    case WM_DROPFILES:
      FormDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DPICHANGED:
      // Moved to a monitor of another scale: laid out again in the place and
      // size Windows suggests, and locked at that size.
      ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
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
