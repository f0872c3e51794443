// Other processes: ending strays, running a program to its end, waiting for the tool.
#include "harness/harness.h"
#include "harness/internal.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace e2e {

using namespace detail;

namespace detail {

bool IEquals(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

void EndProcessesNamed(const std::string& exeName, DWORD keep) {
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap.valid()) return;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap.h, &pe); ok; ok = Process32Next(snap.h, &pe)) {
    if (pe.th32ProcessID == keep || pe.th32ProcessID == GetCurrentProcessId()) continue;
    if (!IEquals(pe.szExeFile, exeName)) continue;
    Handle p(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID));
    if (!p.valid()) continue;
    TerminateProcess(p.h, 1);
    WaitForSingleObject(p.h, 5000);
  }
}

}  // namespace detail

namespace {

// The desktop, which Wine starts as a child of the first program to need one
// and which stays.
bool IsWinesDesktop(HANDLE process) {
  char image[MAX_PATH * 4] = {};
  DWORD size = sizeof image;
  return QueryFullProcessImageNameA(process, 0, image, &size) && IEquals(BaseName(image), "explorer.exe");
}

bool ProcessNamedRuns(const std::string& exeName) {
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap.valid()) return false;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap.h, &pe); ok; ok = Process32Next(snap.h, &pe)) {
    if (IEquals(pe.szExeFile, exeName)) return true;
  }
  return false;
}

// Whether every process of `job` has ended, apart from Wine's desktop (not
// while they cannot be listed).
bool JobEnded(HANDLE job) {
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[255];
  } ids{};
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) return false;
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    Handle p(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                         static_cast<DWORD>(ids.list.ProcessIdList[i])));
    if (p.valid() && !IsWinesDesktop(p.h) && WaitForSingleObject(p.h, 0) == WAIT_TIMEOUT) return false;
  }
  return true;
}

}  // namespace

std::optional<DWORD> RunAndWait(const std::string& commandLine, Ms timeout) {
  const auto deadline = Clock::now() + timeout;
  auto left = [&] {
    const auto ms = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
    return static_cast<DWORD>(std::max<long long>(ms, 0));
  };
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  // In a job, so that the programs its programs start are found too (an
  // uninstaller's copy of itself started by the program that was started).
  Handle job(CreateJobObjectA(nullptr, nullptr));
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS | CREATE_SUSPENDED, nullptr,
                      nullptr, &si, &pi)) {
    return std::nullopt;
  }
  Handle process(pi.hProcess), thread(pi.hThread);
  if (!job.valid() || !AssignProcessToJobObject(job.h, process.h)) {
    TerminateProcess(process.h, 1);
    return std::nullopt;
  }
  ResumeThread(thread.h);
  if (WaitForSingleObject(process.h, left()) != WAIT_OBJECT_0) return std::nullopt;
  if (!WaitUntil([&] { return JobEnded(job.h); }, Ms(left()))) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process.h, &code);
  return code;
}

DWORD RunLogged(const std::string& commandLine, const std::string& output, DWORD flags) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << output << ": error " << GetLastError();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION process{};
  std::string command = commandLine;
  DWORD code = 999;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    if (code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(file);
  return code;
}

void WaitForToolRun() {
  EXPECT_TRUE(WaitUntil([] { return ProcessNamedRuns("normalize.exe"); }, Ms(10000))) << "the tool did not start";
  EXPECT_TRUE(WaitUntil([] { return !ProcessNamedRuns("normalize.exe"); }, Ms(30000))) << "the tool did not end";
}

}  // namespace e2e
