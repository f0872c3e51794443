#pragma once
// What the Win32 implementation files share: the system's error text, errno
// from a system error code, C streams over handles, and the end of the
// result's write-behind before it is flushed for good or closed.
#include <windows.h>

#include <cstdio>
#include <string>

namespace normalize::platform {

std::string SystemMessage(DWORD error);
void SetErrno(DWORD error);
// Takes over `handle`, closing it when the stream cannot be made.
std::FILE* StreamOf(HANDLE handle, int flags, const char* mode);
void EndWriteBehind();

}  // namespace normalize::platform
