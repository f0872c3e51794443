#pragma once
// Helpers shared by the harness's own files; tests use harness.h only.
#include <windows.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace e2e::detail {

using Clock = std::chrono::steady_clock;

struct Handle {
  HANDLE h = nullptr;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h && h != INVALID_HANDLE_VALUE; }
};

struct Key {
  HKEY h = nullptr;
  Key() = default;
  ~Key() {
    if (h) RegCloseKey(h);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
};

// Remote memory in another process, freed on scope exit.
struct RemoteBuffer {
  HANDLE process = nullptr;
  void* address = nullptr;
  RemoteBuffer(HANDLE p, std::size_t size) : process(p) {
    address = VirtualAllocEx(p, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address) VirtualFreeEx(process, address, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
};

// SendMessageTimeout with the harness's limit: 0 when the window did not answer.
LRESULT SendWithTimeout(HWND w, UINT msg, WPARAM wp, LPARAM lp);
bool IEquals(const std::string& a, const std::string& b);  // ASCII case-insensitive
std::string ReadWholeFile(const std::string& path);        // empty when unreadable
// Ends every running process started from an executable called `exeName`,
// except `keep`: a copy left over by an earlier, killed test must not steal
// the foreground or the registry.
void EndProcessesNamed(const std::string& exeName, DWORD keep = 0);

}  // namespace e2e::detail
