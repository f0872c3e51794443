// TForm1 made, read and dispatched from its table: a control per row, the
// option set and the numeric texts read through the rows, commands to their
// handlers.
#include <memory>
#include <stdexcept>
#include <string>

#include "options/integer_text.h"
#include "ui/app_text.h"
#include "ui/application.h"
#include "ui/main_form.h"

namespace quilbo {
namespace {

std::unique_ptr<TControl> MakeControl(const ControlRow& row) {
  switch (row.kind) {
    case ControlKind::RadioButton: return std::make_unique<TRadioButton>();
    case ControlKind::NumberField:
      return std::make_unique<TRangeField>(row.limits, ParseIntegerText(row.text).value_or(0));
    case ControlKind::CheckBox: return std::make_unique<TCheckBox>();
    case ControlKind::Edit: return std::make_unique<TEdit>();
    case ControlKind::PictureButton: return std::make_unique<TPictureButton>();
    case ControlKind::PushButton: return std::make_unique<TPushButton>();
    case ControlKind::GroupBox: return std::make_unique<TGroupBox>();
    case ControlKind::StatusBar: break;
  }
  return std::make_unique<TStatusBar>();
}

}  // namespace

void TForm1::CreateControls() {
  const auto rows = MainFormRows();
  for (const ControlRow& row : rows) {
    std::unique_ptr<TControl> control = MakeControl(row);
    ControlArgs args{nullptr, row.id, row.text, row.bounds};
    args.groupStart = (row.state & kGroupStart) != 0;
    args.selected = (row.state & kSelected) != 0;
    if (row.kind == ControlKind::PictureButton) args.picture = FolderPicture();
    Lay(*control, args);
    // The design state, set before any handler is attached.
    if (row.state & kDisabled) control->SetEnabled(false);
    controls_.push_back(std::move(control));
  }
  ToolTip1.Attach(hwnd_, 500, 2500);
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].hint) ToolTip1.AddTool(*controls_[i], ShortHint(rows[i].hint));
  ToolTip1.SetActive(Application.ShowHint);
  toolTip_ = &ToolTip1;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (const TForm1Handler click = rows[i].click) controls_[i]->OnClick = [this, click] { (this->*click)(); };
}

TControl* TForm1::ControlOf(int id) const {
  const auto rows = MainFormRows();
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (rows[i].id == id) return controls_[i].get();
  return nullptr;
}

const ControlRow* TForm1::RowOf(HWND control) const {
  if (!control) return nullptr;
  const auto rows = MainFormRows();
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (controls_[i]->Handle() == control) return &rows[i];
  return nullptr;
}

TOptionSet TForm1::ReadOptions() const {
  TOptionSet options;
  options.mode = TAmplifyMode::amPercent;  // when no radio button is selected
  bool modeRead = false;
  const auto rows = MainFormRows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const OptionFed& fed = rows[i].option;
    const TControl& control = *controls_[i];
    if (fed.mode) {
      if (!modeRead && static_cast<const TRadioButton&>(control).Checked()) {
        options.mode = *fed.mode;
        modeRead = true;
      }
    } else if (fed.flag) {
      options.*fed.flag = static_cast<const TCheckBox&>(control).Checked();
    } else if (fed.number) {
      options.*fed.number = static_cast<const TRangeField&>(control).Value();
    } else if (fed.text) {
      options.*fed.text = control.Text();
    }
  }
  return options;
}

TNumberTexts TForm1::ReadNumberTexts(const TOptionSet& options) const {
  TNumberTexts texts;
  texts.mode = options.mode;
  texts.bufferSizeEnabled = options.bufferSizeEnabled;
  texts.abortEnabled = options.abortEnabled;
  const auto rows = MainFormRows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].option.numberText) texts.*rows[i].option.numberText = controls_[i]->Text();
  return texts;
}

void TForm1::Command(WORD id, WORD code) {
  for (const MenuRow& row : MainMenuRows())
    if (row.id == id) return (this->*row.click)();
  // IDOK and IDCANCEL from the dialog navigation land here and do nothing.
  const auto rows = MainFormRows();
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (rows[i].id == id) return controls_[i]->Notify(code);
}

}  // namespace quilbo
