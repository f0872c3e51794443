#include "win/controls.h"

#include <richedit.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace quilbo {

std::string TControl::Text() const {
  const int length = GetWindowTextLengthA(hwnd_);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(hwnd_, buffer.data(), length + 1);
  return std::string(buffer.data());
}

void TControl::SetEnabled(bool enabled) {
  // A disabled control with the focus takes no keys, Tab included: the focus
  // goes to the next tab stop first, as the dialog manager does.
  if (!enabled && hwnd_ && GetFocus() == hwnd_) {
    const HWND next = GetNextDlgTabItem(GetParent(hwnd_), hwnd_, FALSE);
    if (next && next != hwnd_) SetFocus(next);
  }
  EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void TControl::SetText(const std::string& text) { SetWindowTextA(hwnd_, text.c_str()); }

void TControl::CreateChild(const ControlArgs& args, const ChildClass& child) {
  CreateArgs window;
  window.ownClass = child.ownClass;
  window.systemClass = child.systemClass;
  window.takeOver = child.takeOver;
  window.text = args.text;
  // Siblings clip each other so the group frames, made last, stay behind.
  window.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (args.groupStart ? WS_GROUP : 0) | child.style;
  window.exStyle = child.exStyle;
  window.left = args.bounds.left;
  window.top = args.bounds.top;
  window.width = args.bounds.width;
  window.height = args.bounds.height;
  window.parent = args.parent;
  window.menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id));
  TWindow::Create(window);
  if (args.font) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(args.font), FALSE);
}

void TPushButton::Create(const ControlArgs& args) { CreateChild(args, {.systemClass = "BUTTON", .style = WS_TABSTOP | BS_PUSHBUTTON}); }

void TPushButton::Notify(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

namespace {

// A copy of the bitmap resource with every pixel of its bottom-left colour
// turned into the button face, so the picture sits on the button as if cut out.
TGdiObject<HBITMAP> LoadCutOutPicture(int bitmapId) {
  TGdiObject<HBITMAP> loaded(static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0,
                 LR_CREATEDIBSECTION)));
  if (!loaded.Get()) throw std::runtime_error("Cannot load the folder picture");
  DIBSECTION dib{};
  if (GetObjectA(loaded.Get(), sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 24)
    throw std::runtime_error("The folder picture is not a 24-bit bitmap");
  auto* const bits = static_cast<unsigned char*>(dib.dsBm.bmBits);
  const int stride = dib.dsBm.bmWidthBytes;
  const int height = dib.dsBm.bmHeight;
  // Bottom-up rows unless the height is negative in the header.
  unsigned char* const bottomLeft =
      dib.dsBmih.biHeight > 0 ? bits : bits + static_cast<std::ptrdiff_t>(height - 1) * stride;
  const unsigned char key[3] = {bottomLeft[0], bottomLeft[1], bottomLeft[2]};
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (int y = 0; y < height; ++y) {
    unsigned char* pixel = bits + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < dib.dsBm.bmWidth; ++x, pixel += 3) {
      if (pixel[0] == key[0] && pixel[1] == key[1] && pixel[2] == key[2]) {
        pixel[0] = GetBValue(face);
        pixel[1] = GetGValue(face);
        pixel[2] = GetRValue(face);
      }
    }
  }
  return loaded;
}

}  // namespace

TPictureButton::~TPictureButton() {
  // The button first: it shows the picture until it goes.
  DestroyHandle();
}

void TPictureButton::Create(const ControlArgs& args) {
  ControlArgs noText = args;
  noText.text = "";
  noText.font = nullptr;
  CreateChild(noText, {.systemClass = "BUTTON", .style = WS_TABSTOP | BS_PUSHBUTTON | BS_BITMAP});
  SetPicture(args.picture);
}

void TPictureButton::SetPicture(int bitmapId) {
  TGdiObject<HBITMAP> picture(LoadCutOutPicture(bitmapId));
  SendMessageA(hwnd_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.Get()));
  picture_ = std::move(picture);  // the one the button showed before goes
}

void TPictureButton::Notify(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

void TCheckBox::Create(const ControlArgs& args) { CreateChild(args, {.systemClass = "BUTTON", .style = WS_TABSTOP | BS_CHECKBOX}); }

bool TCheckBox::Checked() const { return SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
  if (Checked() == checked) return;
  SendMessageA(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (OnClick) OnClick();
}

void TCheckBox::Notify(WORD code) {
  if (code == BN_CLICKED) SetChecked(!Checked());
}

void TRadioButton::Create(const ControlArgs& args) {
  CreateChild(args, {.systemClass = "BUTTON",
                     .style = BS_RADIOBUTTON | BS_NOTIFY | (args.selected ? WS_TABSTOP : 0u)});
  if (args.selected) SendMessageA(hwnd_, BM_SETCHECK, BST_CHECKED, 0);
}

bool TRadioButton::Checked() const {
  return SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TRadioButton::SetChecked(bool checked) {
  if (Checked() == checked) return;
  SendMessageA(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  LONG_PTR style = GetWindowLongPtrA(hwnd_, GWL_STYLE);
  style = checked ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
  SetWindowLongPtrA(hwnd_, GWL_STYLE, style);
  if (checked && OnClick) OnClick();
}

void TRadioButton::Notify(WORD code) {
  if (code == BN_CLICKED || code == BN_SETFOCUS) SetChecked(true);
}

void TEdit::Create(const ControlArgs& args) {
  CreateChild(args, {.systemClass = "EDIT", .style = WS_TABSTOP | ES_AUTOHSCROLL, .exStyle = WS_EX_CLIENTEDGE});
}

void TRichEdit::Create(const ControlArgs& args) {
  CreateChild(args, {.systemClass = "RichEdit20A",
                     .style = WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
                     .exStyle = WS_EX_CLIENTEDGE});
}

void TRichEdit::SetBackground(COLORREF colour) {
  SendMessageA(hwnd_, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colour));
}

void TRichEdit::CentreAll() {
  PARAFORMAT format{};
  format.cbSize = sizeof format;
  format.dwMask = PFM_ALIGNMENT;
  format.wAlignment = PFA_CENTER;
  SendMessageA(hwnd_, EM_SETSEL, 0, -1);
  SendMessageA(hwnd_, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
  SendMessageA(hwnd_, EM_SETSEL, 0, 0);
}

void TGroupBox::Create(const ControlArgs& args) { CreateChild(args, {.systemClass = "BUTTON", .style = BS_GROUPBOX}); }

}  // namespace quilbo
