// Start-up, idle and composition costs of the front end, measured from outside
// the program (it has no benchmark hooks):
//
// - start-up: from just before CreateProcess to the end of the main window's
//   first idle pass, seen as the command-line field (Edit2) holding the composed
//   string; the baseline is bench_empty_window.exe, whose first idle pass sets
//   its caption. Peak working set and peak pagefile usage (GetProcessMemoryInfo)
//   are read at that moment. The two programs are started alternately, the
//   order swapped every pair; ratios are per pair, then the median. Variants
//   of the baseline (VARIANT_EXE, same window class) join each round.
// - idle: the program's CPU time (GetProcessTimes) over a span with no input,
//   and over one with the mouse moving across the window (SendInput).
//
// One UpdateCommandLine pass is timed inside the program by bench_update_pass.
// Prints "figure<TAB>value<TAB>unit" lines on stdout, details on stderr.
//   bench_frontend.exe QUILBO_EXE EMPTY_EXE [PAIRS] [IDLE_SECONDS] [VARIANT_EXE...]
//   bench_frontend.exe QUILBO_EXE EMPTY_EXE --seed-only   (only the settings)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "bench_clock.h"

namespace {

constexpr char kComposed[] = "-l 0 \"Select Input File!\"";  // for the seeded settings
constexpr char kEmptyClass[] = "QuilboBenchEmptyWindow";
constexpr char kEmptyIdle[] = "idle";

double Median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Figure(const char* name, double value, const char* unit) {
  // Rounded: CPU times are differences of 100 ns counts held as doubles.
  std::printf("%s\t%.6g\t%s\n", name, std::round(value * 1000) / 1000 + 0.0, unit);
  std::fflush(stdout);
}

// A started program, ended (if still running) when this goes.
class Program {
 public:
  explicit Program(const std::string& exe) {
    std::string directory = exe.substr(0, exe.find_last_of("\\/") + 1);
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Detached: the program must not hold our output open.
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info_))
      throw std::runtime_error("cannot start " + exe);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 0);
      WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }

  HANDLE Handle() const { return info_.hProcess; }
  DWORD Id() const { return info_.dwProcessId; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

  // User plus kernel time so far.
  double CpuSeconds() const {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(info_.hProcess, &created, &exited, &kernel, &user)) return NAN;
    auto ticks = [](FILETIME f) { return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
  }

  PROCESS_MEMORY_COUNTERS Memory() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(info_.hProcess, &counters, sizeof counters))
      throw std::runtime_error("GetProcessMemoryInfo failed");
    return counters;
  }

 private:
  PROCESS_INFORMATION info_{};
};

HWND FindTopWindow(DWORD processId, const char* className) {
  for (HWND hwnd = FindWindowExA(nullptr, nullptr, className, nullptr); hwnd;
       hwnd = FindWindowExA(nullptr, hwnd, className, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == processId) return hwnd;
  }
  return nullptr;
}

// WM_GETTEXT across processes; nothing when the window does not answer.
std::optional<std::string> RemoteText(HWND hwnd) {
  char buffer[512] = {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 2000,
                           &length))
    return std::nullopt;
  return std::string(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
}

struct Kind {
  const char* name;
  std::string exe;
  const char* windowClass;
  int textControl;  // 0: the window itself
  const char* idleText;
};

// Polls every millisecond until the first idle pass has set its text. Until
// the window is shown only cheap look-ups are made: a message sent to the
// program would make it stop for us while it is still building its window.
HWND WaitForFirstIdle(const Program& program, const Kind& kind, double timeout = 30) {
  const double end = Seconds() + timeout;
  while (Seconds() < end) {
    if (!program.Running()) throw std::runtime_error(std::string(kind.name) + " ended during start-up");
    const HWND hwnd = FindTopWindow(program.Id(), kind.windowClass);
    if (hwnd && IsWindowVisible(hwnd)) {
      const HWND textWindow = kind.textControl ? GetDlgItem(hwnd, kind.textControl) : hwnd;
      if (textWindow && RemoteText(textWindow) == std::string(kind.idleText)) return hwnd;
    }
    Sleep(1);
  }
  throw std::runtime_error(std::string(kind.name) + " did not reach its first idle pass");
}

// Settings in place, so the program neither asks for the tool's folder nor
// writes defaults, and composes kComposed.
void SeedSettings(const std::string& toolDir) {
  HKEY key = nullptr;
  // Without the leading backslash: Wine refuses it.
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\Quilbo\\Brackenhollow", 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create the settings key");
  const char* values[][2] = {{"NormDir", toolDir.c_str()}, {"Minimized", "no"}, {"ratio", "0"},   {"level", "0"},
                             {"percent", "100"},          {"size", "64"},      {"xlevel", "0"},  {"MT", "no"},
                             {"size?", "no"},             {"level?", "no"},    {"cual?", "l"}};
  for (const auto& value : values)
    RegSetValueExA(key, value[0], 0, REG_SZ, reinterpret_cast<const BYTE*>(value[1]),
                   static_cast<DWORD>(std::strlen(value[1]) + 1));
  RegCloseKey(key);
}

struct StartUp {
  double seconds;
  double peakWorkingSet;  // bytes
  double peakPagefile;
};

StartUp MeasureStartUp(const Kind& kind) {
  const double start = Seconds();
  Program program(kind.exe);
  WaitForFirstIdle(program, kind);
  const double seconds = Seconds() - start;
  const PROCESS_MEMORY_COUNTERS memory = program.Memory();
  return {seconds, static_cast<double>(memory.PeakWorkingSetSize), static_cast<double>(memory.PeakPagefileUsage)};
}

void MoveMouseTo(int x, int y) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

struct IdleCost {
  double stillSeconds;  // CPU over the span with no input
  double movingSeconds;  // CPU over the span with the mouse moving
  int moves;
};

IdleCost MeasureIdle(const Kind& kind, int spanSeconds) {
  // Parked away from where the window will be.
  MoveMouseTo(2, 2);
  Program program(kind.exe);
  const HWND hwnd = WaitForFirstIdle(program, kind);
  Sleep(1000);  // start-up's leftovers (painting, the activation) done

  IdleCost cost{};
  double before = program.CpuSeconds();
  Sleep(spanSeconds * 1000);
  cost.stillSeconds = program.CpuSeconds() - before;

  RECT r{};
  GetWindowRect(hwnd, &r);
  const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  const int rx = (r.right - r.left) * 2 / 5, ry = (r.bottom - r.top) * 2 / 5;
  before = program.CpuSeconds();
  const double end = Seconds() + spanSeconds;
  while (Seconds() < end) {
    // An ellipse over the window, one move every 10 ms.
    const double angle = cost.moves * 0.05;
    MoveMouseTo(cx + static_cast<int>(rx * std::cos(angle)), cy + static_cast<int>(ry * std::sin(angle)));
    ++cost.moves;
    Sleep(10);
  }
  cost.movingSeconds = program.CpuSeconds() - before;
  MoveMouseTo(2, 2);
  return cost;
}

struct Repeat {
  double firstMs;     // from the press to the first step
  double intervalMs;  // median between the steps that follow
  int steps;          // while held for 1.5 s
};

// The held arrow button: the lower arrow of the buffer-size field pressed for
// 1.5 s (real input), its text read every millisecond.
Repeat MeasureRepeat(const Kind& kind) {
  Program program(kind.exe);
  const HWND hwnd = WaitForFirstIdle(program, kind);
  Sleep(500);
  const HWND field = GetDlgItem(hwnd, IDC_SPINEDIT5);
  const HWND buttons = FindWindowExA(field, nullptr, QUILBO_RANGE_FIELD_BUTTONS_CLASS, nullptr);
  if (!buttons) throw std::runtime_error("no arrow buttons in the buffer-size field");
  RECT r{};
  GetWindowRect(buttons, &r);
  MoveMouseTo((r.left + r.right) / 2, r.bottom - (r.bottom - r.top) / 4);
  Sleep(200);
  std::optional<std::string> last = RemoteText(field);
  INPUT press{};
  press.type = INPUT_MOUSE;
  press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &press, sizeof press);
  const double start = Seconds();
  std::vector<double> changes;
  while (Seconds() - start < 1.5) {
    const std::optional<std::string> now = RemoteText(field);
    if (now != last) {
      changes.push_back((Seconds() - start) * 1e3);
      last = now;
    }
    Sleep(1);
  }
  press.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &press, sizeof press);
  MoveMouseTo(2, 2);
  std::vector<double> intervals;
  for (std::size_t i = 1; i < changes.size(); ++i) intervals.push_back(changes[i] - changes[i - 1]);
  return {changes.empty() ? NAN : changes.front(), Median(intervals), static_cast<int>(changes.size())};
}

int Run(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s QUILBO_EXE EMPTY_EXE [PAIRS] [IDLE_SECONDS] [VARIANT_EXE...]\n", argv[0]);
    return 2;
  }
  const Kind quilbo{"Quilbo.exe", argv[1], QUILBO_FORM1_CLASS, IDC_EDIT2, kComposed};
  const Kind empty{"empty window", argv[2], kEmptyClass, 0, kEmptyIdle};
  const int pairs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;
  const int idleSeconds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 10;
  const bool seedOnly = argc > 3 && std::string(argv[3]) == "--seed-only";

  std::string toolDir = quilbo.exe.substr(0, quilbo.exe.find_last_of("\\/") + 1);
  if (toolDir.empty()) toolDir = "C:\\";
  SeedSettings(toolDir);
  if (seedOnly) return 0;

  // The baseline, the front end, then any variants of the baseline (to tell
  // where a difference comes from), started in turn; the order rotates.
  std::vector<Kind> kinds = {empty, quilbo};
  for (int i = 5; i < argc; ++i) {
    std::string exe = argv[i];
    // A variant of the front end itself is watched as the front end is.
    if (exe.find("bench_quilbo") != std::string::npos)
      kinds.push_back({"", exe, QUILBO_FORM1_CLASS, IDC_EDIT2, kComposed});
    else
      kinds.push_back({"", exe, kEmptyClass, 0, kEmptyIdle});
  }
  std::vector<std::string> names = {"empty", "quilbo"};
  for (std::size_t k = 2; k < kinds.size(); ++k) {
    std::string base = kinds[k].exe.substr(kinds[k].exe.find_last_of("\\/") + 1);
    names.push_back(base.substr(0, base.find('.')));
  }
  const std::size_t n = kinds.size();
  // Off every window: a pointer over a control would have the front end load
  // its tooltips during start-up.
  MoveMouseTo(2, 2);
  // One of each first, unmeasured: the files are then in the cache for all.
  for (const Kind& kind : kinds) MeasureStartUp(kind);
  std::vector<std::vector<double>> time(n), ws(n), pf(n), timeRatio(n), wsRatio(n), pfRatio(n);
  // The front end against each of the others, also per round.
  std::vector<std::vector<double>> quilboTimeRatio(n), quilboWsRatio(n);
  std::fprintf(stderr, "round  program  ms  peakWS KiB  peakPagefile KiB\n");
  for (int i = 0; i < pairs; ++i) {
    std::vector<StartUp> runs(n);
    for (std::size_t j = 0; j < n; ++j) {
      const std::size_t k = (i + j) % n;
      runs[k] = MeasureStartUp(kinds[k]);
      Sleep(200);
    }
    for (std::size_t k = 0; k < n; ++k) {
      time[k].push_back(runs[k].seconds * 1e3);
      ws[k].push_back(runs[k].peakWorkingSet / 1024);
      pf[k].push_back(runs[k].peakPagefile / 1024);
      timeRatio[k].push_back(runs[k].seconds / runs[0].seconds);
      wsRatio[k].push_back(runs[k].peakWorkingSet / runs[0].peakWorkingSet);
      pfRatio[k].push_back(runs[k].peakPagefile / runs[0].peakPagefile);
      quilboTimeRatio[k].push_back(runs[1].seconds / runs[k].seconds);
      quilboWsRatio[k].push_back(runs[1].peakWorkingSet / runs[k].peakWorkingSet);
      std::fprintf(stderr, "%5d  %-24s %7.1f  %10.0f  %16.0f\n", i + 1, names[k].c_str(), time[k].back(),
                   ws[k].back(), pf[k].back());
    }
  }
  Figure("startup.pairs", pairs, "pairs");
  for (std::size_t k = 0; k < n; ++k) {
    const std::string p = "startup." + names[k] + ".";
    Figure((p + "ms").c_str(), Median(time[k]), "ms");
    Figure((p + "peak_ws").c_str(), Median(ws[k]), "KiB");
    Figure((p + "peak_pagefile").c_str(), Median(pf[k]), "KiB");
    if (k != 1) {
      Figure(("startup.quilbo.over_" + names[k] + ".time_ratio").c_str(), Median(quilboTimeRatio[k]), "x");
      Figure(("startup.quilbo.over_" + names[k] + ".peak_ws_ratio").c_str(), Median(quilboWsRatio[k]), "x");
    }
    if (k == 0) continue;
    Figure((p + "time_ratio").c_str(), Median(timeRatio[k]), "x");
    Figure((p + "peak_ws_ratio").c_str(), Median(wsRatio[k]), "x");
    Figure((p + "peak_pagefile_ratio").c_str(), Median(pfRatio[k]), "x");
  }

  const Repeat repeat = MeasureRepeat(quilbo);
  Figure("repeat.first_ms", repeat.firstMs, "ms");
  Figure("repeat.interval_ms", repeat.intervalMs, "ms");
  Figure("repeat.steps", repeat.steps, "steps");

  const IdleCost quilboIdle = MeasureIdle(quilbo, idleSeconds);
  const IdleCost emptyIdle = MeasureIdle(empty, idleSeconds);
  Figure("idle.seconds", idleSeconds, "s");
  Figure("idle.quilbo.still_cpu", quilboIdle.stillSeconds * 1e3, "ms");
  Figure("idle.empty.still_cpu", emptyIdle.stillSeconds * 1e3, "ms");
  Figure("idle.quilbo.moving_cpu", quilboIdle.movingSeconds * 1e3, "ms");
  Figure("idle.empty.moving_cpu", emptyIdle.movingSeconds * 1e3, "ms");
  Figure("idle.moves", quilboIdle.moves, "moves");
  Figure("idle.quilbo.per_move", quilboIdle.movingSeconds / quilboIdle.moves * 1e6, "us");
  Figure("idle.empty.per_move", emptyIdle.movingSeconds / emptyIdle.moves * 1e6, "us");

  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_frontend: %s\n", error.what());
    return 1;
  }
}
