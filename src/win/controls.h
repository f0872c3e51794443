#pragma once
// One small wrapper per kind of standard control the windows use. A wrapper
// creates its control from a ControlArgs record, reads and sets its state;
// the owning window routes WM_COMMAND to Notify.
#include <windows.h>

#include <functional>
#include <string>

#include "layout/dpi_scale.h"  // Bounds: left, top, width, height in the parent's client area
#include "win/gdi.h"
#include "win/window.h"

namespace quilbo {

// What every control is made from; a kind ignores what it has no use for.
struct ControlArgs {
  HWND parent = nullptr;
  int id = 0;
  const char* text = "";
  Bounds bounds;
  HFONT font = nullptr;
  bool groupStart = false;  // WS_GROUP: the arrow keys stay among the controls up to the next one
  bool selected = false;    // a radio button selected from the start, with no OnClick
  int picture = 0;          // a picture button's bitmap resource
};

// The window side of a control: its class, a system one or its own, and styles.
struct ChildClass {
  const char* systemClass = nullptr;
  const WindowClass* ownClass = nullptr;
  bool takeOver = false;  // a system class whose messages come to HandleMessage all the same
  DWORD style = 0;
  DWORD exStyle = 0;
};

class TControl : public TWindow {
 public:
  virtual void Create(const ControlArgs& args) = 0;

  bool Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
  // Disabling the control that has the focus moves the focus on first.
  void SetEnabled(bool enabled);

  std::string Text() const;
  void SetText(const std::string& text);

  // The DPI a control that sizes parts of itself by it is laid out for.
  virtual void SetDpi(int /*dpi*/) {}

  // A notification code of WM_COMMAND from this control.
  virtual void Notify(WORD /*code*/) {}
  // Runs on a click, or on a change of the ticked state, as each kind says.
  std::function<void()> OnClick;

 protected:
  // A child window of that class with the args' text, place, id and font.
  void CreateChild(const ControlArgs& args, const ChildClass& child);
};

class TPushButton : public TControl {
 public:
  void Create(const ControlArgs& args) override;
  void Notify(WORD code) override;
};

// A push button showing a picture whose bottom-left colour is transparent.
class TPictureButton : public TControl {
 public:
  ~TPictureButton() override;
  void Create(const ControlArgs& args) override;
  // Another picture, for another DPI.
  void SetPicture(int bitmapId);
  void Notify(WORD code) override;

 private:
  TGdiObject<HBITMAP> picture_;  // freed after the button
};

// Ticked state changes only through SetChecked, which runs OnClick on every change.
class TCheckBox : public TControl {
 public:
  void Create(const ControlArgs& args) override;
  bool Checked() const;
  void SetChecked(bool checked);
  void Notify(WORD code) override;
};

// Becoming selected runs OnClick (whose handler deselects the others of the
// window); deselecting runs nothing. Only a selected one is a tab stop.
// Receiving the focus selects it, so the arrow keys move the selection.
class TRadioButton : public TControl {
 public:
  void Create(const ControlArgs& args) override;
  bool Checked() const;
  void SetChecked(bool checked);
  void Notify(WORD code) override;
};

class TEdit : public TControl {
 public:
  void Create(const ControlArgs& args) override;
};

// A multi-line rich-text box (the class of riched20.dll, which the caller loads).
class TRichEdit : public TControl {
 public:
  void Create(const ControlArgs& args) override;
  void SetBackground(COLORREF colour);
  // Every paragraph centred.
  void CentreAll();
};

class TGroupBox : public TControl {
 public:
  void Create(const ControlArgs& args) override;
};

}  // namespace quilbo
