// TForm1 at a DPI: its outer size, the pictures of its picker buttons, its
// icons, and its first place on the desktop.
#include "ui/control_ids.h"
#include "ui/main_form.h"
#include "win/dpi.h"

namespace quilbo {
namespace {

constexpr int kWidth = 648;  // at 96 dpi
constexpr int kHeight = 273;

}  // namespace

int TForm1::FolderPicture() const {
  constexpr int kPictures[] = {IDB_OPENFOLDER, IDB_OPENFOLDER24, IDB_OPENFOLDER32};
  return kPictures[PickPicture({16, 24, 32}, 16, dpi_)];
}

RECT TForm1::PlaceAtDpi(int dpi) const {
  RECT place{};
  if (hwnd_) GetWindowRect(hwnd_, &place);
  const SIZE designFrame = FrameSize(kStyle, kExStyle, true, kDesignDpi);
  const SIZE frame = FrameSize(kStyle, kExStyle, true, dpi);
  const Extent size = ScaledOuterSize({kWidth, kHeight}, {designFrame.cx, designFrame.cy},
                                      {frame.cx, frame.cy}, dpi);
  place.right = place.left + size.width;
  place.bottom = place.top + size.height;
  return place;
}

void TForm1::DpiChanged() {
  ToolTip1.MoveTools();
  const auto rows = MainFormRows();
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (rows[i].kind == ControlKind::PictureButton)
      static_cast<TPictureButton&>(*controls_[i]).SetPicture(FolderPicture());
  SetIcons();
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

}  // namespace quilbo
