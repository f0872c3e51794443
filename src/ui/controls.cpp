#include "ui/controls.h"

#include <richedit.h>

#include <stdexcept>
#include <utility>
#include <vector>


namespace quilbo {

TControl::~TControl() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

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

void TControl::CreateControl(HWND parent, int id, const char* className, const char* text,
                             DWORD style, DWORD exStyle, Bounds bounds, HFONT font) {
  // Siblings clip each other so the group frames, made last, stay behind.
  hwnd_ = CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                          bounds.left, bounds.top, bounds.width, bounds.height, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleA(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error(std::string("Cannot create a control of class ") + className);
  if (font) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void TPushButton::Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font) {
  CreateControl(parent, id, "BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, 0, bounds, font);
}

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
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

void TPictureButton::Create(HWND parent, int id, int bitmapId, Bounds bounds) {
  CreateControl(parent, id, "BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON | BS_BITMAP, 0, bounds,
                nullptr);
  SetPicture(bitmapId);
}

void TPictureButton::SetPicture(int bitmapId) {
  TGdiObject<HBITMAP> picture(LoadCutOutPicture(bitmapId));
  SendMessageA(hwnd_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.Get()));
  picture_ = std::move(picture);  // the one the button showed before goes
}

void TPictureButton::Notify(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

void TCheckBox::Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font) {
  CreateControl(parent, id, "BUTTON", caption, WS_TABSTOP | BS_CHECKBOX, 0, bounds, font);
}

bool TCheckBox::Checked() const { return SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
  if (Checked() == checked) return;
  SendMessageA(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (OnClick) OnClick();
}

void TCheckBox::Notify(WORD code) {
  if (code == BN_CLICKED) SetChecked(!Checked());
}

void TRadioButton::Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font,
                          bool group, bool checked) {
  CreateControl(parent, id, "BUTTON", caption,
                BS_RADIOBUTTON | BS_NOTIFY | (group ? WS_GROUP : 0) | (checked ? WS_TABSTOP : 0), 0,
                bounds, font);
  if (checked) SendMessageA(hwnd_, BM_SETCHECK, BST_CHECKED, 0);
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

void TEdit::Create(HWND parent, int id, const char* text, Bounds bounds, HFONT font) {
  CreateControl(parent, id, "EDIT", text, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, bounds,
                font);
}

void TRichEdit::Create(HWND parent, int id, Bounds bounds, HFONT font) {
  CreateControl(parent, id, "RichEdit20A", "",
                WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE,
                bounds, font);
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

void TGroupBox::Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font) {
  CreateControl(parent, id, "BUTTON", caption, BS_GROUPBOX, 0, bounds, font);
}

}  // namespace quilbo
