#pragma once
// The main window as one table: a row per control, in creation and tab order,
// with its id, kind, caption or initial text, place at 96 dpi, hint and initial
// state, the option it feeds and the stored value it is kept under, and the
// handler its clicks run. The window is created, laid out, read, checked and
// stored from these rows, and adding an option means adding a row. No <windows.h>.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "layout/dpi_scale.h"
#include "options/number_check.h"
#include "options/option_set.h"
#include "options/range_rules.h"
#include "ui/control_ids.h"

namespace quilbo {

enum class ControlKind {
  RadioButton,
  NumberField,
  CheckBox,
  Edit,
  PictureButton,  // the open-folder picture
  PushButton,
  GroupBox,
  StatusBar,
};

// Initial state, as bits.
enum ControlState : unsigned {
  kSelected = 1,        // the radio button selected at start
  kDisabled = 2,
  kGroupStart = 4,      // WS_GROUP: the arrow keys stay among the radio buttons before it
  kMenuBackground = 8,  // drawn on the system's menu colour
};

// The main window's handlers that the table binds, named for their control
// and event. TForm1 implements them.
class TForm1Handlers {
 public:
  virtual void RadioButton1Click() = 0;
  virtual void RadioButton2Click() = 0;
  virtual void RadioButton3Click() = 0;
  virtual void CheckBox2Click() = 0;
  virtual void CheckBox4Click() = 0;
  virtual void BitBtn1Click() = 0;
  virtual void BitBtn2Click() = 0;
  virtual void Button1Click() = 0;
  virtual void Button2Click() = 0;
  virtual void Button3Click() = 0;
  virtual void RunMinimized1Click() = 0;
  virtual void RemoveREGsettings1Click() = 0;
  virtual void ReSelectNormalizeDirectory1Click() = 0;
  virtual void Exit1Click() = 0;
  virtual void About1Click() = 0;

 protected:
  ~TForm1Handlers() = default;
};
using TForm1Handler = void (TForm1Handlers::*)();

// Where a control's state goes in the option set; at most one of these.
struct OptionFed {
  std::optional<TAmplifyMode> mode = std::nullopt;  // a radio button: the mode it selects
  bool TOptionSet::*flag = nullptr;
  std::int32_t TOptionSet::*number = nullptr;
  std::string TOptionSet::*text = nullptr;
  // A numeric field's text, for the check before a start.
  std::string TNumberTexts::*numberText = nullptr;
};

struct ControlRow {
  int id;
  ControlKind kind;
  const char* text;  // caption, or initial text
  Bounds bounds;     // client coordinates at 96 dpi
  const char* hint = nullptr;  // "Short|long"
  unsigned state = 0;          // ControlState bits
  RangeLimits limits{};        // a numeric field's
  OptionFed option{};
  const char* stored = nullptr;  // the settings value it is kept under
  TForm1Handler click = nullptr;
};

struct MenuRow {
  int id;
  TForm1Handler click;
};

// Every control of the main window, in tab order.
std::span<const ControlRow> MainFormRows();
// The menu commands.
std::span<const MenuRow> MainMenuRows();

// The row of the control kept under the stored value `name` (not "cual?",
// which the three radio buttons share), and the radio button of `mode`.
// Null when there is none.
const ControlRow* RowStoredAs(std::string_view name);
const ControlRow* RowForMode(TAmplifyMode mode);

}  // namespace quilbo
