#include "ui/main_form_table.h"

#include <iterator>

namespace quilbo {
namespace {

using K = ControlKind;
using H = TForm1Handlers;
using O = TOptionSet;
using N = TNumberTexts;

// Created in this order, which is also the order Tab follows (the status bar
// takes no focus). The group frames come after everything inside them, so
// they lie behind.
constexpr ControlRow kRows[] = {
    {IDC_RADIOBUTTON1, K::RadioButton, "-l <Ratio>", {18, 18, 65, 17},
     "Ratio|don't find peaks but multiply each sample by <ratio>", kSelected | kGroupStart, {},
     {.mode = TAmplifyMode::amRatio}, "cual?", &H::RadioButton1Click},
    {IDC_RADIOBUTTON2, K::RadioButton, "-a <level>", {18, 43, 65, 17},
     "Level|Don't find peaks; amplify by <level> (given in dB)", 0, {},
     {.mode = TAmplifyMode::amLevel}, "cual?", &H::RadioButton2Click},
    {IDC_RADIOBUTTON3, K::RadioButton, "-m <percent>", {18, 68, 81, 17},
     "Percent|Normalize to <percent> (default 100)", 0, {},
     {.mode = TAmplifyMode::amPercent}, "cual?", &H::RadioButton3Click},
    // Starts a new group, so the arrow keys stay among the three radio buttons.
    {IDC_SPINEDIT1, K::NumberField, "0", {171, 15, 45, 22}, nullptr, kGroupStart,
     {-100, 100}, {.number = &O::ratio, .numberText = &N::ratio}, "ratio"},
    {IDC_SPINEDIT2, K::NumberField, "0", {171, 40, 45, 22}, nullptr, 0, {-30, 30},
     {.number = &O::level, .numberText = &N::level}, "level"},
    {IDC_SPINEDIT3, K::NumberField, "100", {171, 65, 45, 22}, nullptr, 0,
     {-100, 100}, {.number = &O::percent, .numberText = &N::percent}, "percent"},
    {IDC_CHECKBOX1, K::CheckBox, "-b <size>", {256, 17, 62, 17},
     "Buffer Size|Specify I/O buffer size (in KB; 16..16384; default 64)", 0, {},
     {.flag = &O::bufferSizeEnabled}, "size?"},
    {IDC_SPINEDIT4, K::NumberField, "0", {347, 42, 45, 22}, nullptr, 0, {0, 30},
     {.number = &O::abortLevel, .numberText = &N::abortLevel}, "xlevel"},
    {IDC_CHECKBOX2, K::CheckBox, "MultiTasking!", {257, 73, 136, 17},
     "Process|UnChecked = Secuencial processing, Checked Multitasking!", kDisabled, {}, {}, "MT",
     &H::CheckBox2Click},
    {IDC_CHECKBOX3, K::CheckBox, "-x <level>", {256, 44, 65, 17},
     "Level|Abort if gain increase is smaller than <level> (in dB)", 0, {},
     {.flag = &O::abortEnabled}, "level?"},
    {IDC_SPINEDIT5, K::NumberField, "64", {337, 14, 55, 22}, nullptr, 0,
     {16, 16384}, {.number = &O::bufferSize, .numberText = &N::bufferSize}, "size"},
    {IDC_EDIT1, K::Edit, kOutputPlaceholder, {78, 146, 470, 21}, nullptr, 0, {},
     {.text = &O::outputPath}},
    {IDC_BITBTN1, K::PictureButton, "", {563, 144, 28, 25}, nullptr, 0, {}, {},
     nullptr, &H::BitBtn1Click},
    {IDC_CHECKBOX4, K::CheckBox, "-o <file>", {16, 149, 58, 17},
     "File|Write output to <file> (instead of overwriting original)", 0, {},
     {.flag = &O::outputEnabled}, nullptr, &H::CheckBox4Click},
    {IDC_GROUPBOX1, K::GroupBox, "Amplification Options", {6, 1, 221, 95}},
    {IDC_GROUPBOX2, K::GroupBox, "Misc. Options", {243, 1, 164, 95}},
    {IDC_EDIT2, K::Edit, "Command Line", {14, 174, 615, 21}, nullptr, kMenuBackground},
    {IDC_BUTTON1, K::PushButton, "Go!", {554, 0, 75, 25}, nullptr, kDisabled, {}, {},
     nullptr, &H::Button1Click},
    {IDC_EDIT3, K::Edit, kInputPlaceholder, {78, 117, 470, 21}, nullptr, 0, {},
     {.text = &O::inputPath}},
    {IDC_BITBTN2, K::PictureButton, "", {563, 115, 28, 25}, nullptr, 0, {}, {},
     nullptr, &H::BitBtn2Click},
    {IDC_GROUPBOX3, K::GroupBox, "Input/Output", {6, 103, 629, 101}},
    {IDC_BUTTON2, K::PushButton, "Process", {553, 36, 75, 25}, nullptr, kDisabled, {},
     {}, nullptr, &H::Button2Click},
    {IDC_BUTTON3, K::PushButton, "Leave", {553, 71, 75, 25}, nullptr, 0, {}, {},
     nullptr, &H::Button3Click},
    {IDC_STATUSBAR1, K::StatusBar, "", {0, 207, 640, 20}},
};

constexpr MenuRow kMenu[] = {
    {IDM_RUNMINIMIZED1, &H::RunMinimized1Click},
    {IDM_REMOVEREGSETTINGS1, &H::RemoveREGsettings1Click},
    {IDM_RESELECTNORMALIZEDIRECTORY1,
     &H::ReSelectNormalizeDirectory1Click},
    {IDM_EXIT1, &H::Exit1Click},
    {IDM_ABOUT1, &H::About1Click},
};

}  // namespace

std::span<const ControlRow> MainFormRows() { return kRows; }

std::span<const MenuRow> MainMenuRows() { return kMenu; }

const ControlRow* RowStoredAs(std::string_view name) {
  for (const ControlRow& row : kRows)
    if (row.stored && row.stored == name && !row.option.mode) return &row;
  return nullptr;
}

const ControlRow* RowForMode(TAmplifyMode mode) {
  for (const ControlRow& row : kRows)
    if (row.option.mode == mode) return &row;
  return nullptr;
}

}  // namespace quilbo
