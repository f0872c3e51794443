#pragma once
// End-to-end test harness: starts the real program under Wine (or Windows) and
// drives its windows from the test driver's process. Strings are UTF-8 (the
// driver runs with UTF-8 as its active code page, as the program does).
//
// Every wait has a timeout; every App ends its process in its destructor.
// See README.md beside this file for a short tour.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/control_ids.h"

namespace e2e {

using Ms = std::chrono::milliseconds;
inline constexpr Ms kTimeout{5000};  // default for every wait

// ---- Waiting ---------------------------------------------------------------

// Polls `done` every ~50 ms until it returns true or `timeout` passes.
// Returns the last result of `done`.
bool WaitUntil(const std::function<bool()>& done, Ms timeout = kTimeout);
// Polls `holds` every ~20 ms for `duration`: false as soon as it does not hold.
bool Stays(const std::function<bool()>& holds, Ms duration);
void Sleep(Ms duration);

// ---- Paths -----------------------------------------------------------------

std::string BinDir();         // folder of the driver, ending in a backslash
std::string ProgramPath();    // BinDir() + "Quilbo.exe"
std::string StandInDir();     // BinDir() + "stand-in\\" (holds the stand-in normalize.exe)
std::string StandInPath();    // StandInDir() + "normalize.exe"
// A fresh, empty scratch folder for the running test (named after it, under
// the temporary folder), ending in a backslash. `sub` names a folder inside it.
std::string ScratchDir(const std::string& sub = "");
void WriteFile(const std::string& path, const std::string& bytes = "");  // creates folders too
bool FileExists(const std::string& path);
void CopyFileTo(const std::string& from, const std::string& to);
std::string BaseName(const std::string& path);  // text after the last backslash
std::string DirName(const std::string& path);   // text up to and including the last backslash

// ---- Windows of any process ------------------------------------------------

std::string Text(HWND w);                    // WM_GETTEXT (works across processes)
void SetText(HWND w, const std::string& s);  // WM_SETTEXT
std::string ClassName(HWND w);
bool IsEnabled(HWND w);
bool IsVisible(HWND w);
bool IsChecked(HWND w);        // BM_GETCHECK == BST_CHECKED
DWORD Style(HWND w);
DWORD ExStyle(HWND w);
RECT WindowRect(HWND w);       // screen coordinates, frame included
RECT ClientRect(HWND w);       // client size: left = top = 0
RECT RectInParent(HWND child); // child's window rect in its parent's client coordinates
POINT ClientOrigin(HWND w);    // screen position of the client area's top-left
HWND Child(HWND parent, int id);   // direct child by control ID (nullptr if none)
HWND FindDescendant(HWND parent, int id);  // any depth
std::vector<HWND> Children(HWND parent);  // direct children in Z order
// Visible top-level windows of process `pid`, optionally of one class and/or title.
std::vector<HWND> TopLevelWindows(DWORD pid, const char* className = nullptr,
                                  const char* title = nullptr);
// The same, hidden ones included (the application window before anything is
// shown, the main window during the first-run prompt).
std::vector<HWND> AllTopLevelWindows(DWORD pid, const char* className);

// Messages. Post* return at once; Send* wait until the window's thread handled it.
// Anything that opens a modal window (a picker, "About!", a box whose click handler
// opens a dialog) must be posted: a sent message waits until the dialog closes.
void PostClick(HWND button);                     // posted BM_CLICK
void SendClick(HWND button);                     // sent BM_CLICK
void PostCommand(HWND window, int id);           // posted WM_COMMAND (menu item)
void PostChar(HWND w, char ch);                  // posted WM_CHAR
void PostChars(HWND w, const std::string& s);
void PostKey(HWND w, UINT vk);                   // posted WM_KEYDOWN + WM_KEYUP
void PostClose(HWND w);                          // posted WM_CLOSE

// Real input (SendInput) after making `w`'s top-level window the foreground
// window and giving `w` the keyboard focus (AttachThreadInput dance).
bool Focus(HWND w);                              // true when `w` has the focus
HWND FocusedWindow(HWND anyWindowOfThread);      // focus of that window's thread
void KeyPress(UINT vk);                          // real key down + up
void KeyDown(UINT vk);
void KeyUp(UINT vk);
void TypeText(const std::string& ascii);         // real keys for ASCII text
void MouseMove(POINT screen);                    // a few small absolute moves ending at `screen`
void MouseDown();                                // left button
void MouseUp();
void MouseClick(POINT screen);
void MouseDrag(POINT from, POINT to);            // press at `from`, move in steps, release at `to`
void MouseDoubleClick(POINT screen);
POINT Centre(HWND w);                            // screen centre of a window

// ---- System dialogs --------------------------------------------------------

// The open-file dialog: types `path` into the file-name box (control 1148) and
// presses OK (posted). The dialog must be open.
void ChooseFileInDialog(HWND dialog, const std::string& path);
std::string FileDialogFileName(HWND dialog);    // text of the file-name box
std::string FileDialogFilter(HWND dialog);      // text of the selected filter (control 1136)
void SelectFilterInDialog(HWND dialog, int index);  // 0-based, as the user would
void CancelDialog(HWND dialog);                  // posted click on IDCANCEL
void OkDialog(HWND dialog);                      // posted click on IDOK
bool IsFileDialog(HWND dialog);                  // has control 1148
bool IsFolderBrowser(HWND dialog);               // has the folder tree 14145
// Folder browser: selects `folder` (no trailing backslash needed) in the tree,
// verifying the selection and retrying; returns false if it never took.
bool SelectFolderInBrowser(HWND dialog, const std::string& folder, Ms timeout = kTimeout);
std::string FolderBrowserSelection(HWND dialog);  // text of the tree's selected item
// Message box: its text (static 65535); the box is closed with OkDialog.
std::string MessageBoxText(HWND box);
// The tooltip of `pid` while it is visible, or nullptr.
HWND VisibleTooltip(DWORD pid);

// ---- Dropping files ---------------------------------------------------------

// Drops `paths` on `target` (a window of `process`) at `at` in its client area as
// the system does after a drag from Explorer: a WM_DROPFILES whose HDROP (UTF-16
// names) was allocated in the program with GlobalAlloc, for it to free.
void DropFiles(HANDLE process, HWND target, const std::vector<std::string>& paths, POINT at = {20, 20});

// ---- Registry: HKLM\software\Quilbo\Brackenhollow, 32-bit view -------------

namespace reg {
inline constexpr const char* kSettingsKey = "software\\Quilbo\\Brackenhollow";
inline constexpr const char* kVendorKey = "software\\Quilbo";
bool SettingsKeyExists();
bool VendorKeyExists();
// Deletes the settings key with everything below it, and the vendor key when it
// is left empty; lifts a write ban set by DenyWrite first.
void DeleteSettings();
std::optional<std::string> Read(const std::string& name);  // REG_SZ / REG_EXPAND_SZ text
DWORD Type(const std::string& name);                         // REG_NONE if missing
std::map<std::string, std::string> ReadAll();               // every string value
void Write(const std::string& name, const std::string& value);  // REG_SZ, creates the key
void WriteRaw(const std::string& name, DWORD type, const std::string& bytes);
void Remove(const std::string& name);
// Creates the settings key and makes it read-only for everybody: the program's
// full-access open or create then fails with access denied while reads work.
void DenyWrite();
}  // namespace reg

// ---- The stand-in normalize.exe's records ---------------------------------

struct Launch {
  std::string commandLine;        // GetCommandLineA(), whole
  std::vector<std::string> args;  // argv[1..] as the C runtime split it
  std::string currentDir;         // GetCurrentDirectoryA()
  bool useShowWindow = false;     // STARTF_USESHOWWINDOW set in STARTUPINFO.dwFlags
  int showWindow = -1;            // STARTUPINFO.wShowWindow
};
// The records of every start of the stand-in living in `dir` (default
// StandInDir()), oldest first.
std::vector<Launch> Launches(const std::string& dir = "");
void ClearLaunches(const std::string& dir = "");
// Waits until `dir` holds at least `count` records; returns all records seen.
std::vector<Launch> WaitForLaunches(std::size_t count, const std::string& dir = "",
                                    Ms timeout = kTimeout);

// ---- Other programs and our tool's work -------------------------------------

// Runs `commandLine` detached and waits until it and the programs it started,
// and theirs, have ended (an NSIS uninstaller hands its work to a copy of
// itself and ends at once), apart from the desktop (explorer.exe) Wine may
// start for it. Its
// exit code; nullopt when it did not start or end within `timeout`.
std::optional<DWORD> RunAndWait(const std::string& commandLine, Ms timeout = Ms(60000));
// Runs `commandLine` (60 s at most) with both its streams written to the file
// `output`: its exit code (999 when it could not start).
DWORD RunLogged(const std::string& commandLine, const std::string& output, DWORD flags = DETACHED_PROCESS);
// Waits for a normalize.exe to start and then to end. Reading a file while the
// tool replaces it could make the replacement fail: look only afterwards.
void WaitForToolRun();
// The largest sample magnitude of a 16-bit PCM WAV file, or -1 if it is none.
int PeakOf16BitWav(const std::string& path);
// WAV files to work on: `value` in `bytes` bytes, little-endian; the 44-byte
// header of 16-bit PCM at 44.1 kHz; a mono file of it whose samples swing
// between -peak and +peak every 50 frames.
void PutLe(std::string& out, std::uint32_t value, int bytes);
std::string Pcm16Header(int channels, std::uint32_t data_bytes);
std::string SquareWave16(int peak, int frames);

// ---- The program under test -----------------------------------------------

struct StartOptions {
  // What the settings key holds when the program starts. The key is always
  // deleted first, so each test starts from a clean state.
  enum class Registry {
    SeedToolDir,  // "NormDir" = toolDir (no first-run prompt), plus `values`
    FirstRun,     // nothing: a true first run
    Denied,       // the key exists, empty and read-only: no settings, ToolDir empty
    Keep,         // leave the registry exactly as it is (no clean-up)
  };
  Registry registry = Registry::SeedToolDir;
  std::string toolDir;                        // default StandInDir(); must end in '\\'
  std::map<std::string, std::string> values;  // further REG_SZ values to seed
  std::string exe;                  // default ProgramPath()
  std::string workingDir;           // default: the folder of `exe`
  int showCommand = -1;             // STARTUPINFO wShowWindow; -1: none given
  std::string mainClass = "TForm1"; // class of the main window to wait for
  bool waitForMainWindow = true;    // false when a dialog comes first (first run, errors)
  Ms startTimeout{15000};
  bool clearLaunches = true;        // empty the stand-in's records in StandInDir()
  // The display DPI the program starts with (the prefix's LogPixels, which a
  // process reads once as it starts); 0 leaves the prefix's setting alone.
  int dpi = 0;
};

class App {
 public:
  explicit App(StartOptions options = {});
  ~App();  // ends the process if it still runs (and every stray copy of it)
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_; }
  bool Running() const;
  bool WaitForExit(Ms timeout = kTimeout);
  void Terminate();

  // The main window (waits for it when not yet known; nullptr after a timeout).
  HWND Main();
  HWND WaitForMain(Ms timeout = kTimeout);
  HWND Control(int id);  // child of the main window by ID; nullptr if missing

  // Shorthands on main-window controls.
  std::string Text(int id) { return e2e::Text(Control(id)); }
  void SetText(int id, const std::string& s) { e2e::SetText(Control(id), s); }
  bool Checked(int id) { return e2e::IsChecked(Control(id)); }
  bool Enabled(int id) { return e2e::IsEnabled(Control(id)); }
  void Click(int id) { PostClick(Control(id)); }      // posted: safe for modal dialogs
  void SendClick(int id) { e2e::SendClick(Control(id)); }
  void Menu(int id) { PostCommand(Main(), id); }      // menu item or "About!"
  // Check mark of a menu item; nullopt where another process's menu cannot be
  // read (always under Wine 8): test the item's effect there instead.
  std::optional<bool> MenuChecked(int id);
  std::string CommandLine() { return Text(IDC_EDIT2); }  // Edit2's text
  // Waits until control `id` reads `expected`; returns the text last read, so
  // EXPECT_EQ(app.WaitForText(id, x), x) reports what was there instead.
  std::string WaitForText(int id, const std::string& expected, Ms timeout = kTimeout);
  std::string WaitForCommandLine(const std::string& expected, Ms timeout = kTimeout);

  // Top-level windows of the process.
  HWND WaitForWindow(const char* className, const char* title = nullptr, Ms timeout = kTimeout);
  HWND WaitForDialog(Ms timeout = kTimeout);   // a visible "#32770": file dialog,
                                               // folder browser or message box
  HWND Dialog();                               // the same, without waiting
  HWND WaitForAbout(Ms timeout = kTimeout);    // the visible About box "TForm2"
  bool WaitForNoDialog(Ms timeout = kTimeout); // no visible "#32770" left
  // The next message box: its text, after which it is closed ("(no message
  // box)" when none came).
  std::string NextMessage();
  // Runs the input or output picker (posted click) and chooses `path` in its file
  // dialog; returns once the dialog is gone (false on a timeout).
  bool PickFile(int pickerId, const std::string& path);
  bool CancelPicker(int pickerId);

  // CPU time (user + kernel) the process has used so far.
  Ms CpuTime() const;

 private:
  StartOptions options_;
  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  std::optional<std::optional<DWORD>> savedLogPixels_;  // set while `dpi` is in force
  void RestoreLogPixels();
};

}  // namespace e2e
