#include <windows.h>
#include <io.h>
#include <stdio.h>

#include "platform/console.h"

namespace normalize::platform {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

bool LeadsSomewhere(std::FILE* stream) {
  const int fd = _fileno(stream);
  if (fd < 0) return false;
  const intptr_t handle = _get_osfhandle(fd);
  return handle != -1 && handle != -2 && handle != 0;
}

namespace {
// The console's code page before ours; a console shared with a command
// prompt must get it back.
UINT previous_output_code_page = 0;
// Whether the console was made for this run: known at the start, since
// another process may attach to it later.
bool own_console = false;
}  // namespace

void PrepareConsole() {
  DWORD processes[2] = {};
  own_console = GetConsoleProcessList(processes, 2) == 1;
  // The manifest makes the file APIs take UTF-8; make the console show it too.
  previous_output_code_page = GetConsoleOutputCP();
  if (previous_output_code_page != 0) SetConsoleOutputCP(CP_UTF8);
}

namespace {

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// The console's own input, whatever the standard input is. Ctrl-C counts as
// a key here rather than as an interruption.
void WaitForKey() {
  const HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return;
  SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT));
  FlushConsoleInputBuffer(input);
  std::fputs("Press any key to close this window.\n", stderr);
  std::fflush(stderr);
  for (;;) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputA(input, &record, 1, &read) || read == 0) break;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
  }
  SetConsoleMode(input, mode);
  CloseHandle(input);
}

}  // namespace

void EndConsole(int exit_code) {
  // A console of our own closes with us; one shared with a shell stays, and
  // output sent elsewhere is not on the screen to be read.
  if (own_console && IsConsole(STD_OUTPUT_HANDLE) && IsConsole(STD_ERROR_HANDLE)) {
    if (exit_code != 0) {
      WaitForKey();
    } else {
      Sleep(4000);
    }
  }
  if (previous_output_code_page != 0) SetConsoleOutputCP(previous_output_code_page);
}

}  // namespace normalize::platform
