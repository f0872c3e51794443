#pragma once
// A named mutex held for as long as its owner lives: other programs see by
// its name that the owner runs. Nobody waits on it; its existence is the sign.
#include <windows.h>

namespace quilbo {

class TNamedMutex {
 public:
  // When the mutex cannot be made the owner runs on unmarked.
  explicit TNamedMutex(const char* name) : handle_(CreateMutexA(nullptr, FALSE, name)) {}
  ~TNamedMutex() {
    if (handle_) CloseHandle(handle_);
  }
  TNamedMutex(const TNamedMutex&) = delete;
  TNamedMutex& operator=(const TNamedMutex&) = delete;

 private:
  HANDLE handle_;
};

}  // namespace quilbo
