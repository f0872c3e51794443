#include "platform.h"

#include <windows.h>
#include <io.h>
#include <stdio.h>

namespace normalize::platform {

bool Seek(std::FILE* file, std::uint64_t offset) {
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool SeekEnd(std::FILE* file) { return _fseeki64(file, 0, SEEK_END) == 0; }

bool Tell(std::FILE* file, std::uint64_t& offset) {
  const __int64 at = _ftelli64(file);
  if (at < 0) return false;
  offset = static_cast<std::uint64_t>(at);
  return true;
}

// A 32-bit process cannot map a large file whole; the C runtime's reads serve.
const std::byte* MapForReading(std::FILE*, std::uint64_t) { return nullptr; }
void Unmap(const std::byte*, std::uint64_t) {}

bool RunOnMapped(void (*fn)(void*), void* context) {
  fn(context);
  return true;
}

bool CurrentSize(std::FILE* file, std::uint64_t& size) {
  const __int64 length = _filelengthi64(_fileno(file));
  if (length < 0) return false;
  size = static_cast<std::uint64_t>(length);
  return true;
}

bool SyncToDisk(std::FILE* file) {
  return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// Windows writes a file's cache back on its own schedule; _commit does the rest.
void StartWriteBack(std::FILE*, std::uint64_t, std::uint64_t) {}

// A new file in the same folder inherits that folder's access rights, which is
// what Windows itself does for a replaced document.
void CopyPermissions(const std::string&, std::FILE*) {}

bool MoveOver(const std::string& from, const std::string& to, std::string& reason) {
  if (MoveFileExA(from.c_str(), to.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD error = GetLastError();
  char text[512] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     error, 0, text, sizeof text, nullptr);
  reason.assign(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = "system error " + std::to_string(error);
  return false;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

namespace {
// The console's code page before ours; a console shared with a command
// prompt must get it back.
UINT previous_output_code_page = 0;
}  // namespace

void PrepareConsole() {
  // The manifest makes the file APIs take UTF-8; make the console show it too.
  previous_output_code_page = GetConsoleOutputCP();
  if (previous_output_code_page != 0) SetConsoleOutputCP(CP_UTF8);
}

void EndConsole() {
  DWORD processes[2] = {};
  if (GetConsoleProcessList(processes, 2) == 1) Sleep(4000);
  if (previous_output_code_page != 0) SetConsoleOutputCP(previous_output_code_page);
}

}  // namespace normalize::platform
