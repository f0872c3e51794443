// Test-only stand-in for the normalize tool: records how it was started and
// exits. One record per start is appended to launches.txt beside the program:
//   cmdline=<GetCommandLineA()>   arg=<argv[i]> (one line each)
//   cwd=<current directory>       useshowwindow=<0|1>   showwindow=<wShowWindow>
//   end
// A GUI program, so a start through the shell opens no console.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  char module[MAX_PATH * 4] = {};
  GetModuleFileNameA(nullptr, module, sizeof module);
  std::string file = module;
  file = file.substr(0, file.find_last_of('\\') + 1) + "launches.txt";

  char cwd[MAX_PATH * 4] = {};
  GetCurrentDirectoryA(sizeof cwd, cwd);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  GetStartupInfoA(&si);

  std::string record = "cmdline=" + std::string(GetCommandLineA()) + "\n";
  for (int i = 1; i < argc; ++i) record += "arg=" + std::string(argv[i]) + "\n";
  record += "cwd=" + std::string(cwd) + "\n";
  record += "useshowwindow=" + std::string((si.dwFlags & STARTF_USESHOWWINDOW) ? "1" : "0") + "\n";
  record += "showwindow=" + std::to_string(si.wShowWindow) + "\n";
  record += "end\n";

  // Several copies may start at once: retry while another one holds the file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE f = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(f, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
      CloseHandle(f);
      return 0;
    }
    Sleep(20);
  }
  return 1;
}
