// The result's temporary and the console events that remove it, on Windows.
// rand_s is declared only where this comes before the first C runtime header.
#define _CRT_RAND_S
#include <windows.h>
#include <stdlib.h>

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/interruptions.h"
#include "platform/temporary.h"
#include "platform/win32_shared.h"

namespace normalize::platform {

// A new file in the same folder inherits that folder's access rights, which is
// what Windows itself does for a replaced document.
void CopyPermissions(const std::string&, std::FILE*) {}

namespace {

// The temporary a console event removes: set and cleared under the lock, which
// the handler (on a thread of its own) takes too.
CRITICAL_SECTION cleanup_lock;
bool cleanup_lock_ready = false;
std::vector<HANDLE> armed;  // one per file being worked on
bool committed = false;
UINT interrupted_exit_code = 9;
DoneSoFar done_so_far = nullptr;

class CleanupLocked {
 public:
  CleanupLocked() {
    if (cleanup_lock_ready) EnterCriticalSection(&cleanup_lock);
  }
  ~CleanupLocked() {
    if (cleanup_lock_ready) LeaveCriticalSection(&cleanup_lock);
  }
  CleanupLocked(const CleanupLocked&) = delete;
  CleanupLocked& operator=(const CleanupLocked&) = delete;
};

void Say(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

[[noreturn]] void EndWith(const std::string& why, UINT exit_code) {
  if (cleanup_lock_ready) EnterCriticalSection(&cleanup_lock);
  for (const HANDLE handle : armed) {
    // Deleted when its last handle closes, which ending the process does.
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
  }
  Say(why);
  if (done_so_far) Say(done_so_far());
  // Not ExitProcess: the main thread may hold the C runtime's locks.
  TerminateProcess(GetCurrentProcess(), exit_code);
  for (;;) Sleep(INFINITE);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
      event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
    return FALSE;
  }
  // Of several files, those done before stay done.
  EndWith(committed ? "\nnormalize: interrupted after a result was put in place\n"
                    : "\nnormalize: interrupted; the files being worked on are left as they were\n",
          interrupted_exit_code);
}

// Before the handle closes: a later file may get the same handle value.
void Disarm(std::FILE* file) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  const auto at = std::find(armed.begin(), armed.end(), handle);
  if (at != armed.end()) armed.erase(at);
}

}  // namespace

void SetInterruptionReport(DoneSoFar report) { done_so_far = report; }

void EndRunNow(const std::string& why, int exit_code) {
  EndWith("\nnormalize: " + why + "\n", static_cast<UINT>(exit_code));
}

void HandleInterruptions(int exit_code) {
  interrupted_exit_code = static_cast<UINT>(exit_code);
  InitializeCriticalSection(&cleanup_lock);
  cleanup_lock_ready = true;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::FILE* CreateTemporary(const std::string& path, bool& name_taken) {
  name_taken = false;
  const CleanupLocked locked;
  // DELETE access lets an interruption remove it while it is open; sharing
  // no deletion keeps a later run from removing it while this one lives.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    name_taken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    SetErrno(code);
    return nullptr;
  }
  std::FILE* file = StreamOf(handle, 0, "wb");
  if (!file) {
    DeleteFileA(path.c_str());
    return nullptr;
  }
  armed.push_back(handle);
  return file;
}

bool CommitTemporary(std::FILE* file, const std::string& from, const std::string& to, std::string& reason,
                     const std::function<void()>& on_committed) {
  EndWriteBehind();
  const CleanupLocked locked;
  Disarm(file);
  if (std::fclose(file) != 0) {
    reason = "cannot close the temporary file";
    return false;
  }
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    reason = SystemMessage(GetLastError());
    return false;
  }
  committed = true;
  if (on_committed) on_committed();
  return true;
}

void DiscardTemporary(std::FILE* file, const std::string& path) {
  EndWriteBehind();
  const CleanupLocked locked;
  if (file) {
    Disarm(file);
    std::fclose(file);
  }
  DeleteFileA(path.c_str());
}

// A live run's temporary is open without sharing deletion, so this fails.
void RemoveIfAbandoned(const std::string& path) { DeleteFileA(path.c_str()); }

std::uint64_t RandomBits() {
  unsigned int low = 0;
  unsigned int high = 0;
  if (rand_s(&low) != 0 || rand_s(&high) != 0) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>(now.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 40);
  }
  return std::uint64_t{high} << 32 | low;
}

}  // namespace normalize::platform
