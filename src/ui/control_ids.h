#pragma once
// Control and menu command IDs of the windows, shared by the resource script,
// the windows themselves and the end-to-end test driver. Plain #defines so the
// resource compiler can read them.

// Window class names.
#define QUILBO_APP_CLASS   "TApplication"
#define QUILBO_FORM1_CLASS "TForm1"
#define QUILBO_FORM2_CLASS "TForm2"
#define QUILBO_RANGE_FIELD_BUTTONS_CLASS "TSpinButton"
#define QUILBO_STATUS_BAR_CLASS "TStatusBar"
#define QUILBO_TOOLTIP_CLASS "tooltips_class32"  /* the system's, for the test driver */

// Main window (TForm1).
#define IDC_RADIOBUTTON1 101
#define IDC_RADIOBUTTON2 102
#define IDC_RADIOBUTTON3 103
#define IDC_SPINEDIT1    111
#define IDC_SPINEDIT2    112
#define IDC_SPINEDIT3    113
#define IDC_SPINEDIT4    114
#define IDC_SPINEDIT5    115
#define IDC_CHECKBOX1    121
#define IDC_CHECKBOX2    122
#define IDC_CHECKBOX3    123
#define IDC_CHECKBOX4    124
#define IDC_EDIT1        131
#define IDC_EDIT2        132
#define IDC_EDIT3        133
#define IDC_BITBTN1      141
#define IDC_BITBTN2      142
#define IDC_BUTTON1      151
#define IDC_BUTTON2      152
#define IDC_BUTTON3      153
#define IDC_GROUPBOX1    161
#define IDC_GROUPBOX2    162
#define IDC_GROUPBOX3    163
#define IDC_STATUSBAR1   170

// Main menu (TForm1).
#define IDM_MAINMENU                    200
#define IDM_RUNMINIMIZED1               201
#define IDM_REMOVEREGSETTINGS1          202
#define IDM_RESELECTNORMALIZEDIRECTORY1 203
#define IDM_EXIT1                       204
#define IDM_ABOUT1                      205

// About box (TForm2).
#define IDC_ABOUT_RICHEDIT1 301
#define IDC_ABOUT_BUTTON1   302

// Resources.
#define IDI_QUILBO      1
#define IDB_OPENFOLDER  2  // 16 x 13; the same picture for 150 % and 200 %:
#define IDB_OPENFOLDER24 3  // 24 x 20
#define IDB_OPENFOLDER32 4  // 32 x 26
