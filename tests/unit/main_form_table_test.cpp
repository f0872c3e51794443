// The main window's table: what the window is made, read and stored from.
// A row missing, doubled or wrong here is an option that silently never reaches
// the command line, a setting that is never loaded, or a control Tab skips.
#include "ui/main_form_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "options/integer_text.h"
#include "settings/settings_store.h"

namespace quilbo {
namespace {

template <class Predicate>
int RowsWhere(Predicate predicate) {
  const auto rows = MainFormRows();
  return static_cast<int>(std::count_if(rows.begin(), rows.end(), predicate));
}

TEST(MainFormTable, EveryOptionHasExactlyOneControlOfItsKind) {
  for (auto member : {&TOptionSet::bufferSizeEnabled, &TOptionSet::outputEnabled, &TOptionSet::abortEnabled})
    EXPECT_EQ(RowsWhere([&](const ControlRow& r) { return r.option.flag == member && r.kind == ControlKind::CheckBox; }), 1);
  for (auto member : {&TOptionSet::ratio, &TOptionSet::level, &TOptionSet::percent, &TOptionSet::bufferSize,
                      &TOptionSet::abortLevel})
    EXPECT_EQ(RowsWhere([&](const ControlRow& r) { return r.option.number == member && r.kind == ControlKind::NumberField; }), 1);
  for (auto member : {&TOptionSet::outputPath, &TOptionSet::inputPath})
    EXPECT_EQ(RowsWhere([&](const ControlRow& r) { return r.option.text == member && r.kind == ControlKind::Edit; }), 1);
  for (TAmplifyMode mode : {TAmplifyMode::amRatio, TAmplifyMode::amLevel, TAmplifyMode::amPercent})
    EXPECT_EQ(RowsWhere([&](const ControlRow& r) { return r.option.mode == mode && r.kind == ControlKind::RadioButton; }), 1);
  // The check before a start reads the text of every numeric field it composes.
  for (auto member : {&TNumberTexts::ratio, &TNumberTexts::level, &TNumberTexts::percent, &TNumberTexts::bufferSize,
                      &TNumberTexts::abortLevel})
    EXPECT_EQ(RowsWhere([&](const ControlRow& r) { return r.option.numberText == member && r.option.number; }), 1);

  // The window as created composes what the option set starts with.
  TOptionSet initial;
  initial.mode = TAmplifyMode::amPercent;
  for (const ControlRow& row : MainFormRows()) {
    if (row.option.mode && (row.state & kSelected)) initial.mode = *row.option.mode;
    if (row.option.flag) initial.*row.option.flag = (row.state & kSelected) != 0;
    if (row.option.number) initial.*row.option.number = ParseIntegerText(row.text).value_or(-1);
    if (row.option.text) initial.*row.option.text = row.text;
  }
  EXPECT_EQ(BuildCommandLine(initial), BuildCommandLine(TOptionSet{}));
  EXPECT_EQ(BuildCommandLine(initial), "-l 0 \"Select Input File!\"");
}

TEST(MainFormTable, EveryStoredValueHasExactlyOneRow) {
  std::set<std::string> names;
  for (const StoredOption& stored : StoredOptions()) {
    names.insert(stored.name);
    const auto storedHere = [&](const ControlRow& r) { return r.stored && r.stored == std::string(stored.name); };
    switch (stored.kind) {
      case StoredKind::RunMinimized:  // a menu item's check mark
        EXPECT_EQ(RowsWhere(storedHere), 0) << stored.name;
        break;
      case StoredKind::Number:
        EXPECT_EQ(RowsWhere(storedHere), 1) << stored.name;
        ASSERT_NE(RowStoredAs(StoredName(stored.number)), nullptr) << stored.name;
        EXPECT_EQ(RowStoredAs(StoredName(stored.number))->kind, ControlKind::NumberField) << stored.name;
        break;
      case StoredKind::Flag:
        EXPECT_EQ(RowsWhere(storedHere), 1) << stored.name;
        ASSERT_NE(RowStoredAs(StoredName(stored.flag)), nullptr) << stored.name;
        EXPECT_EQ(RowStoredAs(StoredName(stored.flag))->kind, ControlKind::CheckBox) << stored.name;
        break;
      case StoredKind::Mode:  // one radio button per mode
        EXPECT_EQ(RowsWhere(storedHere), 3) << stored.name;
        for (TAmplifyMode mode : {TAmplifyMode::amRatio, TAmplifyMode::amLevel, TAmplifyMode::amPercent}) {
          ASSERT_NE(RowForMode(mode), nullptr);
          EXPECT_EQ(RowForMode(mode)->stored, std::string(stored.name));
        }
        break;
    }
  }
  for (const ControlRow& row : MainFormRows())
    if (row.stored) { EXPECT_TRUE(names.count(row.stored)) << row.id << " is stored under an unknown value"; }
}

TEST(MainFormTable, IdsUniqueAndInitialNumbersInRange) {
  std::set<int> ids;
  for (const ControlRow& row : MainFormRows()) {
    EXPECT_TRUE(ids.insert(row.id).second) << row.id;
    if (row.kind == ControlKind::NumberField) {
      const auto value = ParseIntegerText(row.text);
      ASSERT_TRUE(value) << row.id;
      EXPECT_TRUE(*value >= row.limits.minimum && *value <= row.limits.maximum) << row.id;
    }
  }
  for (const MenuRow& row : MainMenuRows()) EXPECT_TRUE(ids.insert(row.id).second) << row.id;
}

}  // namespace
}  // namespace quilbo
