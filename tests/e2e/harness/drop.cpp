// Dropping files on the program as Explorer does.
#include "harness/harness.h"
#include "harness/internal.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace e2e {

using namespace detail;

namespace {

// The address in `pid` of `function` of this process: the same module at the
// same offset, wherever that module was loaded there.
std::uintptr_t RemoteAddress(DWORD pid, const void* function) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(function), &module))
    throw std::runtime_error("no module holds the function");
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  const std::string name = BaseName(path);
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot list the modules of the program");
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::uintptr_t base = 0;
  for (BOOL more = Module32First(snapshot, &entry); more && !base; more = Module32Next(snapshot, &entry))
    if (lstrcmpiA(entry.szModule, name.c_str()) == 0) base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
  CloseHandle(snapshot);
  if (!base) throw std::runtime_error("the program has not loaded " + name);
  return base + (reinterpret_cast<std::uintptr_t>(function) - reinterpret_cast<std::uintptr_t>(module));
}

// A zeroed fixed block of `size` bytes from GlobalAlloc inside `process`, as the
// system makes a drop's HDROP: the receiver frees it with DragFinish. A few
// bytes of code run there as a thread: GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size).
std::uintptr_t RemoteGlobalAlloc(HANDLE process, DWORD size) {
  const std::uintptr_t globalAlloc =
      RemoteAddress(GetProcessId(process), reinterpret_cast<const void*>(&GlobalAlloc));
  unsigned char code[] = {
      0x8B, 0x44, 0x24, 0x04,        // mov eax, [esp+4]   (the thread's argument: size)
      0x50,                          // push eax
      0x6A, GPTR,                    // push GPTR
      0xB8, 0, 0, 0, 0,              // mov eax, GlobalAlloc
      0xFF, 0xD0,                    // call eax
      0xC2, 0x04, 0x00,              // ret 4
  };
  const auto address = static_cast<std::uint32_t>(globalAlloc);
  std::memcpy(code + 8, &address, sizeof address);
  void* remoteCode = VirtualAllocEx(process, nullptr, sizeof code, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  if (!remoteCode) throw std::runtime_error("VirtualAllocEx failed");
  DWORD result = 0;
  if (WriteProcessMemory(process, remoteCode, code, sizeof code, nullptr)) {
    const HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(remoteCode),
                                             reinterpret_cast<void*>(static_cast<std::uintptr_t>(size)), 0, nullptr);
    if (thread) {
      WaitForSingleObject(thread, 5000);
      GetExitCodeThread(thread, &result);
      CloseHandle(thread);
    }
  }
  VirtualFreeEx(process, remoteCode, 0, MEM_RELEASE);
  if (!result) throw std::runtime_error("GlobalAlloc in the program failed");
  return result;
}

}  // namespace

void DropFiles(HANDLE process, HWND target, const std::vector<std::string>& paths, POINT at) {
  // DROPFILES, then the names in UTF-16, each ending in a zero, and one more zero.
  std::wstring names;
  for (const std::string& path : paths) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    names += wide;  // with its zero
  }
  names += L'\0';
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.pt = at;
  header.fWide = TRUE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
  const std::uintptr_t drop = RemoteGlobalAlloc(process, static_cast<DWORD>(block.size()));
  if (!WriteProcessMemory(process, reinterpret_cast<void*>(drop), block.data(), block.size(), nullptr))
    throw std::runtime_error("cannot write the dropped names into the program");
  if (!PostMessageA(target, WM_DROPFILES, static_cast<WPARAM>(drop), 0))
    throw std::runtime_error("cannot post WM_DROPFILES: error " + std::to_string(GetLastError()));
}

}  // namespace e2e
