// The baseline of the front end's start-up benchmark: the least a Win32 program
// can do to put one empty window on screen and go idle. Its message loop has
// the same shape as the front end's (peek, idle pass, wait), and its one idle
// pass does what the front end's first one does to its command-line field:
// sets a text once, here the window's caption, which the driver watches for.
//
// Also built as diagnostic variants that add, step by step, what the front end
// does besides its window: BENCH_COMCTL initialises the common controls,
// BENCH_COM initialises COM, BENCH_SHELL imports the common dialogs and the
// shell, BENCH_RICHEDIT loads the rich edit library as the About box does;
// bench_empty_manifest also carries the front end's manifest (manifest.rc).
// BENCH_CHILDREN gives the window the front end's standard controls (its 15
// buttons, group frames and boxes, and 8 edits, in its font and places) and
// nothing else: the least that window can cost with real controls.
// BENCH_PHASES appends the times of main's start and of the first idle pass
// since process creation to the file QUILBO_BENCH_PHASES names.
#include <windows.h>

#include "bench_clock.h"
#if defined(BENCH_PHASES)
#include <cstdio>
#include <cstdlib>
#endif
#if defined(BENCH_COMCTL)
#include <commctrl.h>
#endif
#if defined(BENCH_COM)
#include <objbase.h>
#endif
#if defined(BENCH_SHELL)
#include <commdlg.h>
#include <shellapi.h>
#endif

namespace {

constexpr char kClass[] = "QuilboBenchEmptyWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}


#if defined(BENCH_CHILDREN)
void CreateChildren(HWND parent, HINSTANCE instance) {
  struct Child {
    const char* className;
    DWORD style;
    const char* text;
    int left, top, width, height;
  };
  const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  const DWORD edit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
  static const Child children[] = {
      {"BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, "Amplification Options", 6, 1, 221, 95},
      {"BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, "Misc. Options", 243, 1, 164, 95},
      {"BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, "Input/Output", 6, 103, 629, 101},
      {"BUTTON", button | BS_RADIOBUTTON, "-l <Ratio>", 18, 18, 65, 17},
      {"BUTTON", button | BS_RADIOBUTTON, "-a <level>", 18, 43, 65, 17},
      {"BUTTON", button | BS_RADIOBUTTON, "-m <percent>", 18, 68, 81, 17},
      {"BUTTON", button | BS_CHECKBOX, "-b <size>", 256, 17, 62, 17},
      {"BUTTON", button | BS_CHECKBOX, "MultiTasking!", 257, 73, 136, 17},
      {"BUTTON", button | BS_CHECKBOX, "-x <level>", 256, 44, 65, 17},
      {"BUTTON", button | BS_CHECKBOX, "-o <file>", 16, 149, 58, 17},
      {"BUTTON", button | BS_PUSHBUTTON, "", 563, 144, 28, 25},
      {"BUTTON", button | BS_PUSHBUTTON, "", 563, 115, 28, 25},
      {"BUTTON", button | BS_PUSHBUTTON, "Go!", 554, 0, 75, 25},
      {"BUTTON", button | BS_PUSHBUTTON, "Process", 553, 36, 75, 25},
      {"BUTTON", button | BS_PUSHBUTTON, "Leave", 553, 71, 75, 25},
      {"EDIT", edit, "0", 171, 15, 45, 22},
      {"EDIT", edit, "0", 171, 40, 45, 22},
      {"EDIT", edit, "100", 171, 65, 45, 22},
      {"EDIT", edit, "0", 347, 42, 45, 22},
      {"EDIT", edit, "64", 337, 14, 55, 22},
      {"EDIT", edit, "Select Output File!", 78, 146, 470, 21},
      {"EDIT", edit, "Command Line", 14, 174, 615, 21},
      {"EDIT", edit, "Select Input File!", 78, 117, 470, 21},
  };
  const HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
  for (const Child& child : children) {
    const DWORD exStyle = child.className[0] == 'E' ? WS_EX_CLIENTEDGE : 0;
    const HWND control = CreateWindowExA(exStyle, child.className, child.text, child.style, child.left, child.top,
                                         child.width, child.height, parent, nullptr, instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#if defined(BENCH_PHASES)
  const double atMain = SinceProcessCreation();
#endif
#if defined(BENCH_SHELL)
  // Referenced, so the libraries are imported and loaded as the front end's are.
  static const void* volatile imported[] = {reinterpret_cast<const void*>(&GetOpenFileNameA),
                                            reinterpret_cast<const void*>(&ShellExecuteA)};
  (void)imported;
#endif
#if defined(BENCH_COM)
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#endif
#if defined(BENCH_COMCTL)
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
#endif
#if defined(BENCH_RICHEDIT)
  LoadLibraryA("riched20.dll");
#endif
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClass;
  if (!RegisterClassExA(&windowClass)) return 1;
  // The front end's size, centred as it is.
  const int width = 648, height = 273;
  const HWND hwnd = CreateWindowExA(0, kClass, "empty", WS_OVERLAPPEDWINDOW,
                                    (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                    (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                    nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
#if defined(BENCH_CHILDREN)
  CreateChildren(hwnd, instance);
#endif
  ShowWindow(hwnd, SW_SHOWNORMAL);

  bool idleSeen = false;
  for (;;) {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return 0;
      TranslateMessage(&message);
      DispatchMessageA(&message);
      continue;
    }
    if (!idleSeen) {
      idleSeen = true;
      SetWindowTextA(hwnd, "idle");
#if defined(BENCH_PHASES)
      if (const char* path = std::getenv("QUILBO_BENCH_PHASES")) {
        if (FILE* file = std::fopen(path, "a")) {
          char name[MAX_PATH] = {};
          GetModuleFileNameA(nullptr, name, MAX_PATH);
          const char* base = name;
          for (const char* c = name; *c; ++c)
            if (*c == '\\' || *c == '/') base = c + 1;
          std::fprintf(file, "%s main=%.1f first_idle_end=%.1f\n", base, atMain, SinceProcessCreation());
          std::fclose(file);
        }
      }
#endif
    }
    WaitMessage();
  }
}
