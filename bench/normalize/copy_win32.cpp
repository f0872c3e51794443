// The floor the Windows build of normalize is measured against: a plain copy
// with ReadFile and WriteFile in 64 KiB blocks, flushed with FlushFileBuffers,
// as the tool flushes its result. With --read-first it reads the input once
// before copying, the least that -m (a peak scan, then the rewrite) can do.
//
//   copy_win32 [--read-first] <input> <output>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr DWORD kBlock = 64 * 1024;

bool ReadAll(HANDLE in, char* buffer, HANDLE out) {
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buffer, kBlock, &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD put = 0;
    if (out != INVALID_HANDLE_VALUE && (!WriteFile(out, buffer, got, &put, nullptr) || put != got)) return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool read_first = argc == 4 && std::strcmp(argv[1], "--read-first") == 0;
  if (argc != 3 + (read_first ? 1 : 0)) {
    std::fprintf(stderr, "usage: copy_win32 [--read-first] <input> <output>\n");
    return 1;
  }
  const char* from = argv[argc - 2];
  const char* to = argv[argc - 1];
  const auto buffer = std::make_unique<char[]>(kBlock);
  const HANDLE in = CreateFileA(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return 2;
  if (read_first) {
    if (!ReadAll(in, buffer.get(), INVALID_HANDLE_VALUE)) return 2;
    SetFilePointer(in, 0, nullptr, FILE_BEGIN);
  }
  const HANDLE out = CreateFileA(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 3;
  const bool ok = ReadAll(in, buffer.get(), out) && FlushFileBuffers(out);
  CloseHandle(out);
  CloseHandle(in);
  return ok ? 0 : 3;
}
