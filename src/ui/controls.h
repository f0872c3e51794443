#pragma once
// One small wrapper per kind of standard control the windows use. A wrapper
// creates its control, reads and sets its state and carries its hint; the
// owning window routes WM_COMMAND to Notify.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "layout/dpi_scale.h"  // Bounds: left, top, width, height in the parent's client area
#include "win/gdi.h"

namespace quilbo {

class TControl {
 public:
  TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  HWND Handle() const { return hwnd_; }
  int Id() const { return GetDlgCtrlID(hwnd_); }

  bool Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
  // Disabling the control that has the focus moves the focus on first.
  void SetEnabled(bool enabled);

  std::string Text() const;
  void SetText(const std::string& text);

  // "Short|long": the short part is the tooltip.
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint) { hint_ = std::move(hint); }

  // A notification code of WM_COMMAND from this control.
  virtual void Notify(WORD /*code*/) {}

 protected:
  void CreateControl(HWND parent, int id, const char* className, const char* text, DWORD style,
                     DWORD exStyle, Bounds bounds, HFONT font);

  HWND hwnd_ = nullptr;
  std::string hint_;
};

class TPushButton : public TControl {
 public:
  void Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font);
  void Notify(WORD code) override;
  std::function<void()> OnClick;
};

// A push button showing a picture whose bottom-left colour is transparent.
class TPictureButton : public TControl {
 public:
  ~TPictureButton() override;
  void Create(HWND parent, int id, int bitmapId, Bounds bounds);
  // Another picture, for another DPI.
  void SetPicture(int bitmapId);
  void Notify(WORD code) override;
  std::function<void()> OnClick;

 private:
  TGdiObject<HBITMAP> picture_;  // freed after the button
};

// Ticked state changes only through SetChecked, which runs OnClick on every change.
class TCheckBox : public TControl {
 public:
  void Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font);
  bool Checked() const;
  void SetChecked(bool checked);
  void Notify(WORD code) override;
  std::function<void()> OnClick;
};

// Becoming selected runs OnClick (whose handler deselects the others of the
// window); deselecting runs nothing. Only a selected one is a tab stop.
// Receiving the focus selects it, so the arrow keys move the selection.
class TRadioButton : public TControl {
 public:
  // `group`: the first of a group; `checked`: selected from the start, with no OnClick.
  void Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font, bool group,
              bool checked = false);
  bool Checked() const;
  void SetChecked(bool checked);
  void Notify(WORD code) override;
  std::function<void()> OnClick;
};

class TEdit : public TControl {
 public:
  void Create(HWND parent, int id, const char* text, Bounds bounds, HFONT font);
};

// A multi-line rich-text box (the class of riched20.dll, which the caller loads).
class TRichEdit : public TControl {
 public:
  void Create(HWND parent, int id, Bounds bounds, HFONT font);
  void SetBackground(COLORREF colour);
  // Every paragraph centred.
  void CentreAll();
};

class TGroupBox : public TControl {
 public:
  void Create(HWND parent, int id, const char* caption, Bounds bounds, HFONT font);
};

}  // namespace quilbo
