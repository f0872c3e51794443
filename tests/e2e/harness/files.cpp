// Paths and files of the driver, the stand-in and the scratch folders.
#include "harness/harness.h"
#include "harness/internal.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace e2e {

using namespace detail;

namespace {

void DeleteTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA((dir + "*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path + "\\");
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

void MakeDirs(const std::string& dir) {
  for (std::size_t i = 3; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '\\') CreateDirectoryA(dir.substr(0, i).c_str(), nullptr);
  }
}

std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (!info) return "no-test";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?') c = '_';
  }
  return name;
}

}  // namespace

namespace detail {

std::string ReadWholeFile(const std::string& path) {
  Handle f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f.valid()) return {};
  std::string bytes;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f.h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  return bytes;
}

}  // namespace detail

std::string BinDir() {
  char path[MAX_PATH * 4] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return DirName(path);
}

std::string ProgramPath() { return BinDir() + "Quilbo.exe"; }
std::string StandInDir() { return BinDir() + "stand-in\\"; }
std::string StandInPath() { return StandInDir() + "normalize.exe"; }

std::string ScratchDir(const std::string& sub) {
  char temp[MAX_PATH * 4] = {};
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "quilbo-e2e\\" + TestName() + "\\";
  static std::string cleaned;  // wiped once per test, on first use
  if (cleaned != dir) {
    DeleteTree(dir);
    cleaned = dir;
  }
  if (!sub.empty()) dir += sub + "\\";
  MakeDirs(dir);
  return dir;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  MakeDirs(DirName(path));
  Handle f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.valid()) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  if (!bytes.empty()) ::WriteFile(f.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyFileTo(const std::string& from, const std::string& to) {
  MakeDirs(DirName(to));
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy " + from + " to " + to);
  }
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace e2e
