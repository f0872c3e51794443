#include "ui/about_form.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/application.h"
#include "ui/box_placement.h"
#include "ui/control_ids.h"
#include "win/dpi.h"

namespace quilbo {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS;  // no title-bar buttons
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr int kClientWidth = 254;
constexpr int kClientHeight = 159;
constexpr int kFirstLeft = 848;  // moved at the first showing when the box would not fit
constexpr int kFirstTop = 190;
constexpr Bounds kButton1Bounds{90, 123, 75, 25};  // all at 96 dpi
constexpr Bounds kRichEdit1Bounds{0, 0, 254, 105};

constexpr char kText[] =
    "Front End for Normalize by\r\n"
    "Design and concept by quilbo-fe@example.org\r\n"
    "\r\n"
    "Mail me with suggestions/programs needed. (i'll try to \r\n"
    "code them)\r\n"
    "\r\n"
    "Thanks 2 Torvin for Bug report!";

}  // namespace

TForm2::~TForm2() { DestroyHandle(); }

void TForm2::Create() {
  WNDCLASSEXA windowClass{};
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = QUILBO_FORM2_CLASS;
  RegisterWindowClass(windowClass, &WindowThunk<TForm2>);

  RECT outer{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
  if (!CreateWindowExA(kExStyle, QUILBO_FORM2_CLASS, "About Box!", kStyle, kFirstLeft, kFirstTop,
                       outer.right - outer.left, outer.bottom - outer.top, Application.Handle(),
                       nullptr, GetModuleHandleA(nullptr), this))
    throw std::runtime_error("Cannot create the About box");
  ChangeDpi(WindowDpi(hwnd_), nullptr);

  // OK first: it is first in the tab order, so it has the focus on opening.
  Button1.Create(hwnd_, IDC_ABOUT_BUTTON1, "OK", ScaleToDpi(kButton1Bounds, dpi_), Font.Handle());
  Button1.OnClick = [this] { Button1Click(); };
}

// The text box, made when the box is first shown: the rich edit library and
// the libraries it pulls in are then not loaded at every start-up for a box
// that is seldom opened.
void TForm2::CreateText() {
  RichEditLibrary.Load("riched20.dll");
  RichEdit1.Create(hwnd_, IDC_ABOUT_RICHEDIT1, ScaleToDpi(kRichEdit1Bounds, dpi_), Font.Handle());
  RichEdit1.SetBackground(GetSysColor(COLOR_ACTIVEBORDER));
  RichEdit1.SetText(kText);
  RichEdit1.CentreAll();
  SendMessageA(RichEdit1.Handle(), EM_EMPTYUNDOBUFFER, 0, 0);
  SendMessageA(RichEdit1.Handle(), EM_SETMODIFY, FALSE, 0);
}

int TForm2::ShowModal() {
  if (IsWindowVisible(hwnd_)) throw std::runtime_error("Cannot make a visible window modal");
  if (!RichEdit1.Handle()) CreateText();
  const HWND previousActive = GetActiveWindow();
  // Disabling the main window sends it the enable notification, and the
  // re-enabling below another one, which recompose its command line.
  const std::vector<HWND> disabled = Application.DisableForms(this);
  struct Restore {
    const std::vector<HWND>& disabled;
    HWND box;
    HWND previousActive;
    ~Restore() {
      // Re-enabled before the box hides, so the activation can go back.
      TApplication::EnableWindows(disabled);
      ShowWindow(box, SW_HIDE);
      if (previousActive && IsWindow(previousActive) && IsWindowVisible(previousActive))
        SetActiveWindow(previousActive);
    }
  } restore{disabled, hwnd_, previousActive};

  if (!shownBefore_) {
    shownBefore_ = true;
    FitOnMainMonitor();
  }
  modalResult_ = 0;
  ShowWindow(hwnd_, SW_SHOW);
  while (modalResult_ == 0) {
    if (Application.Terminated()) {
      modalResult_ = mrCancel;
      break;
    }
    Application.RunLoopOnce();
  }
  return modalResult_;
}

// The box keeps its laid-out place when it is seen whole there on the main
// window's monitor; otherwise it moves just enough to be. Later showings keep
// wherever the user left it.
void TForm2::FitOnMainMonitor() {
  const TForm* main = Application.MainForm();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromWindow(main ? main->Handle() : hwnd_, MONITOR_DEFAULTTONEAREST),
                       &monitor))
    return;
  RECT box{};
  GetWindowRect(hwnd_, &box);
  const RECT& work = monitor.rcWork;
  const ScreenPoint place =
      FitIntoArea({box.left, box.top}, box.right - box.left, box.bottom - box.top,
                  {work.left, work.top, work.right, work.bottom});
  SetWindowPos(hwnd_, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Size, first place, controls and font are laid out at 96 dpi and scale with
// the DPI; the frame is the system's at that DPI.
void TForm2::ChangeDpi(int dpi, const RECT* outer) {
  dpi_ = dpi;
  TFont font;
  font.Create("MS Sans Serif", FontHeightForDpi(8, dpi));
  using Laid = std::pair<TControl*, Bounds>;
  for (const auto& [control, bounds] :
       {Laid{&Button1, kButton1Bounds}, Laid{&RichEdit1, kRichEdit1Bounds}}) {
    if (!control->Handle()) continue;
    const Bounds scaled = ScaleToDpi(bounds, dpi);
    SetWindowPos(control->Handle(), nullptr, scaled.left, scaled.top, scaled.width, scaled.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(control->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), TRUE);
  }
  Font.Swap(font);

  RECT place{};
  if (outer) {
    place = *outer;
  } else {
    const SIZE frame = FrameSize(kStyle, kExStyle, false, dpi);
    place.left = ScaleToDpi(kFirstLeft, dpi);
    place.top = ScaleToDpi(kFirstTop, dpi);
    place.right = place.left + ScaleToDpi(kClientWidth, dpi) + frame.cx;
    place.bottom = place.top + ScaleToDpi(kClientHeight, dpi) + frame.cy;
  }
  SetWindowPos(hwnd_, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::Button1Click() { modalResult_ = mrCancel; }

LRESULT TForm2::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // IDOK and IDCANCEL from the dialog navigation do nothing.
      if (LOWORD(wParam) == IDC_ABOUT_BUTTON1) Button1.Notify(HIWORD(wParam));
      return 0;
    case WM_CLOSE:
      modalResult_ = mrCancel;  // hidden, not destroyed
      return 0;
    case WM_DPICHANGED:
      ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      return FormDefault(message, wParam, lParam);
  }
}

}  // namespace quilbo
