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

// The box's two controls, at 96 dpi. OK comes first in the tab order, so it
// has the focus on opening.
constexpr ControlArgs kButton1{nullptr, IDC_ABOUT_BUTTON1, "OK", {90, 123, 75, 25}};
constexpr ControlArgs kRichEdit1{nullptr, IDC_ABOUT_RICHEDIT1, "", {0, 0, 254, 105}};

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
  static const WindowClass kClass{QUILBO_FORM2_CLASS, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)};
  CreateForm(kClass, "About Box!", kStyle, kExStyle);
  Lay(Button1, kButton1);
  Button1.OnClick = [this] { Button1Click(); };
}

// The text box, made when the box is first shown: the rich edit library and
// the libraries it pulls in are then not loaded at every start-up for a box
// that is seldom opened.
void TForm2::CreateText() {
  RichEditLibrary.Load("riched20.dll");
  Lay(RichEdit1, kRichEdit1);
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
  const AppForm* main = Application.MainForm();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromWindow(main ? main->FormWindow() : hwnd_, MONITOR_DEFAULTTONEAREST),
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

RECT TForm2::PlaceAtDpi(int dpi) const {
  const SIZE frame = FrameSize(kStyle, kExStyle, false, dpi);
  RECT place{};
  place.left = ScaleToDpi(kFirstLeft, dpi);
  place.top = ScaleToDpi(kFirstTop, dpi);
  place.right = place.left + ScaleToDpi(kClientWidth, dpi) + frame.cx;
  place.bottom = place.top + ScaleToDpi(kClientHeight, dpi) + frame.cy;
  return place;
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
    default:
      return FormDefault(message, wParam, lParam);
  }
}

}  // namespace quilbo
