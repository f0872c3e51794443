// The whole job: the front end starts our real normalize.exe on a WAV file and
// the file's loudness changes as asked. And the tool on its own, where Windows
// differs from POSIX: the read-only attribute, share modes and locks against a
// second run, and console events and a killed run leaving no temporary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace e2e {
namespace {

TEST(RealTool, GoNormalizesTheChosenFileAsAsked) {
  const std::string toolDir = ScratchDir("tool");
  CopyFileTo(BinDir() + "normalize.exe", toolDir + "normalize.exe");
  const std::string percentFile = toolDir + "tone at a quarter.wav";
  const std::string levelFile = toolDir + "tone for six dB.wav";
  WriteFile(percentFile, SquareWave16(8192, 44100));
  WriteFile(levelFile, SquareWave16(4000, 44100));

  StartOptions options;
  options.toolDir = toolDir;
  App app(options);

  // -m 100: the peak becomes full scale.
  app.SendClick(IDC_RADIOBUTTON3);
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, percentFile));
  ASSERT_EQ(app.WaitForCommandLine("-m 100 \"" + percentFile + "\""), "-m 100 \"" + percentFile + "\"");
  app.Click(IDC_BUTTON1);
  WaitForToolRun();
  EXPECT_GE(PeakOf16BitWav(percentFile), 32766);

  // -a 6: about twice the amplitude (6 dB is a factor of 1.995).
  app.SendClick(IDC_RADIOBUTTON2);
  app.SetText(IDC_SPINEDIT2, "6");
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, levelFile));
  ASSERT_EQ(app.WaitForCommandLine("-a 6 \"" + levelFile + "\""), "-a 6 \"" + levelFile + "\"");
  app.Click(IDC_BUTTON1);
  WaitForToolRun();
  EXPECT_NEAR(PeakOf16BitWav(levelFile), 7981, 1);
}

// ---- normalize.exe on its own ----------------------------------------------

// The tool's exit codes that these tests look for.
constexpr DWORD kExitOutput = 5;
constexpr DWORD kExitInterrupted = 9;
constexpr DWORD kExitBusy = 10;

// The tool's command line: its path in quotes, then `args`.
std::string ToolCommand(const std::string& args) {
  std::string command = "\"";
  command += BinDir() + "normalize.exe\" " + args;
  return command;
}

struct ToolRun {
  PROCESS_INFORMATION process{};
  ToolRun(const std::string& args, DWORD flags) {
    std::string command = ToolCommand(args);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                               &startup, &process))
        << command;
  }
  ~ToolRun() {
    if (!process.hProcess) return;
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  ToolRun(const ToolRun&) = delete;
  ToolRun& operator=(const ToolRun&) = delete;
  DWORD ExitCode() {
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
  }
};

// Detached: no console of its own, which would also keep it open 4 s at the end.
DWORD RunTool(const std::string& args) { return ToolRun(args, DETACHED_PROCESS).ExitCode(); }

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// 128 MiB of 16-bit stereo (zeros but the first sample, 1000): long enough
// to catch the tool in the middle of writing.
std::string LargeWav(const std::string& folder, const std::string& name = "large.wav") {
  const std::string path = folder + name;
  const std::uint32_t data_bytes = 128u << 20;
  std::string wav = Pcm16Header(2, data_bytes);
  PutLe(wav, 1000, 2);
  WriteFile(path, wav);
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = 44 + data_bytes;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  return path;
}

int FirstSample(const std::string& path) {
  const std::string head = ReadAll(path).substr(0, 46);
  return head.size() < 46 ? -1 : static_cast<std::int16_t>(static_cast<unsigned char>(head[44]) | static_cast<unsigned char>(head[45]) << 8);
}

// Until the tool has begun writing `count` results at once (of files whose
// names start with `of`).
bool WaitForTemporary(const std::string& folder, std::size_t count = 1, const std::string& of = "") {
  return WaitUntil([&] {
    const auto names = Names(folder);
    return static_cast<std::size_t>(std::count_if(names.begin(), names.end(), [&](const std::string& name) {
             return name.rfind(of, 0) == 0 && name.find(".nrm-") != std::string::npos;
           })) >= count;
  }, Ms(20000));
}

// The first screenful of the console the driver is attached to.
std::string ConsoleScreen() {
  const HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  std::string text(80 * 50, ' ');
  DWORD read = 0;
  ReadConsoleOutputCharacterA(out, text.data(), static_cast<DWORD>(text.size()), COORD{0, 0}, &read);
  CloseHandle(out);
  return text.substr(0, read);
}

// Ctrl-C in the tool's own console, as a user would press it. (Wine sends
// no Ctrl-Break and no close event this way; the handler treats them alike.)
// A tool still running 20 s later has what its console shows put in the
// test's output, for the cause, and gets a second Ctrl-C, as a user would
// press again; the test then holds it to what it leaves.
DWORD PressCtrlC(const PROCESS_INFORMATION& process) {
  FreeConsole();
  EXPECT_TRUE(AttachConsole(process.dwProcessId)) << GetLastError();
  SetConsoleCtrlHandler(nullptr, TRUE);  // the driver itself ignores it
  for (int press = 1; press <= 2; ++press) {
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    if (WaitForSingleObject(process.hProcess, press == 1 ? 20000 : 40000) == WAIT_OBJECT_0) break;
    std::printf("note: the tool was still running after Ctrl-C (press %d); its console showed:\n%s\n", press,
                ConsoleScreen().c_str());
    testing::Test::RecordProperty("still_running_after_ctrl_c", press);
  }
  DWORD code = 999;
  GetExitCodeProcess(process.hProcess, &code);
  FreeConsole();
  SetConsoleCtrlHandler(nullptr, FALSE);
  return code;
}

TEST(RealTool, ReadOnlyAndBusyFilesAreLeftUntouched) {
  const std::string folder = ScratchDir("tool");
  const std::string protectedFile = folder + "protected.wav";
  const std::string openFile = folder + "open elsewhere.wav";
  WriteFile(protectedFile, SquareWave16(8192, 4410));
  WriteFile(openFile, SquareWave16(8192, 4410));
  const std::string original = ReadAll(protectedFile);

  // The read-only attribute: refused, untouched, and still read-only.
  ASSERT_TRUE(SetFileAttributesA(protectedFile.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(RunTool("-a -6 \"" + protectedFile + "\""), kExitOutput);
  EXPECT_EQ(ReadAll(protectedFile), original);
  EXPECT_TRUE(GetFileAttributesA(protectedFile.c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(protectedFile.c_str(), FILE_ATTRIBUTE_NORMAL);

  // Open for writing in another program: the tool's share mode refuses it.
  const HANDLE writer = CreateFileA(openFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunTool("-a -6 \"" + openFile + "\""), kExitBusy);
  CloseHandle(writer);
  EXPECT_EQ(ReadAll(openFile), original);

  // A second name for the same file: replacing one would leave the other with the old audio.
  const std::string secondName = folder + "second name.wav";
  ASSERT_TRUE(CreateHardLinkA(secondName.c_str(), openFile.c_str(), nullptr)) << GetLastError();
  EXPECT_EQ(RunTool("-a -6 \"" + openFile + "\""), kExitOutput);
  EXPECT_EQ(ReadAll(openFile), original);
  ASSERT_TRUE(DeleteFileA(secondName.c_str()));
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"open elsewhere.wav", "protected.wav"}));

  // A second run while the first works on the file: refused, and the first's
  // result is the one that stays.
  const std::string large = LargeWav(folder);
  ToolRun first("-a -6 -b 16 \"" + large + "\"", DETACHED_PROCESS);
  ASSERT_TRUE(WaitForTemporary(folder));
  SuspendThread(first.process.hThread);
  EXPECT_EQ(RunTool("-a -6 \"" + large + "\""), kExitBusy);
  ResumeThread(first.process.hThread);
  EXPECT_EQ(first.ExitCode(), 0u);
  EXPECT_EQ(FirstSample(large), 501);
  EXPECT_EQ(Names(folder).size(), 3u);
}

TEST(RealTool, InterruptedOrKilledRunsLeaveNoTemporary) {
  const std::string folder = ScratchDir("tool");
  const std::string large = LargeWav(folder);

  {
    ToolRun run("-a -6 -b 16 \"" + large + "\"", CREATE_NEW_CONSOLE);
    ASSERT_TRUE(WaitForTemporary(folder));
    EXPECT_EQ(PressCtrlC(run.process), kExitInterrupted);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"large.wav"});
    EXPECT_EQ(FirstSample(large), 1000);
  }

  // Killed outright: its temporary stays, and the next run removes it.
  {
    ToolRun run("-a -6 -b 16 \"" + large + "\"", DETACHED_PROCESS);
    ASSERT_TRUE(WaitForTemporary(folder));
    TerminateProcess(run.process.hProcess, 1);
    WaitForSingleObject(run.process.hProcess, 10000);
  }
  EXPECT_EQ(Names(folder).size(), 2u);
  EXPECT_EQ(RunTool("-a -6 \"" + large + "\""), 0u);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"large.wav"});
  EXPECT_EQ(FirstSample(large), 501);
}

// RunTool with the tool's output (both streams) written to the file `output`.
DWORD RunToolLogged(const std::string& arguments, const std::string& output, DWORD flags = DETACHED_PROCESS) {
  return RunLogged(ToolCommand(arguments), output, flags);
}


// A failure in a console window made for the run (as the front end or Explorer
// starts the tool) stays on the screen until a key is pressed; with the output
// redirected there is nothing to read, and the tool ends at once.
FILETIME LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

TEST(RealTool, ARerunChangesNothingAndAStoppedAlbumIsFinishedByTheSameCommand) {
  const std::string folder = ScratchDir("tool");
  const std::string small = folder + "a small.wav";
  WriteFile(small, SquareWave16(8192, 4410));
  const std::string large = LargeWav(folder, "b large.wav");

  // Left as it was: the same bytes and the same time, nothing beside it.
  EXPECT_EQ(RunTool("-m 100 \"" + small + "\""), 0u);
  const std::string done = ReadAll(small);
  const FILETIME written = LastWrite(small);
  EXPECT_EQ(RunTool("-m 100 \"" + small + "\""), 0u);
  EXPECT_EQ(RunTool("-n -m 50 \"" + small + "\""), 0u);
  EXPECT_EQ(ReadAll(small), done);
  const FILETIME after = LastWrite(small);
  EXPECT_EQ(CompareFileTime(&written, &after), 0);
  EXPECT_EQ(Names(folder).size(), 2u);

  // Stopped while its second file is written, then run again: one gain for both.
  const std::string album = "--album -m 50 -j 1 -b 16 \"" + small + "\" \"" + large + "\"";
  {
    ToolRun run(album, CREATE_NEW_CONSOLE);
    ASSERT_TRUE(WaitForTemporary(folder, 1, "b large.wav"));
    EXPECT_EQ(PressCtrlC(run.process), kExitInterrupted);
  }
  const std::string half = ReadAll(small);
  EXPECT_NE(half, done);
  EXPECT_EQ(FirstSample(large), 1000);
  EXPECT_EQ(RunTool(album), 0u);
  EXPECT_EQ(ReadAll(small), half);
  EXPECT_EQ(FirstSample(large), 500);  // full scale's half over the small file's full-scale peak
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"a small.wav", "b large.wav"}));
}

TEST(RealTool, ItsOwnConsoleStaysOpenAfterAFailureUntilAKeyIsPressed) {
  const std::string folder = ScratchDir("tool");
  const std::string large = LargeWav(folder);
  const std::string prompt = "Press any key to close this window.";
  // The second file is missing. Once the first one's temporary shows that the
  // run has begun, attaching to its console no longer makes it a shared one.
  ToolRun run("-a -6 -b 16 \"" + large + "\" \"" + folder + "missing.wav\"", CREATE_NEW_CONSOLE);
  ASSERT_TRUE(WaitForTemporary(folder));
  FreeConsole();
  ASSERT_TRUE(AttachConsole(run.process.dwProcessId)) << GetLastError();
  EXPECT_TRUE(WaitUntil([&] { return ConsoleScreen().find(prompt) != std::string::npos; }, Ms(60000)))
      << ConsoleScreen();
  INPUT_RECORD key{};
  key.EventType = KEY_EVENT;
  key.Event.KeyEvent = {TRUE, 1, VK_SPACE, 0, {}, 0};
  DWORD written = 0;
  const HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(WriteConsoleInputA(in, &key, 1, &written)) << GetLastError();
  CloseHandle(in);
  EXPECT_EQ(run.ExitCode(), 2u);
  FreeConsole();

  EXPECT_EQ(RunToolLogged("-l 0 \"" + large + "\"", folder + "run.log", CREATE_NEW_CONSOLE), 1u);
  EXPECT_EQ(ReadAll(folder + "run.log").find(prompt), std::string::npos);
}

// The Windows shell leaves *.wav to the program: the tool expands it, measures
// and normalizes every file it names, and says so one line per file.
TEST(RealTool, LoudnessOnEveryFileAWildcardNames) {
  const std::string dir = ScratchDir("loudness");
  WriteFile(dir + "quiet tone.wav", SquareWave16(1000, 88200));
  WriteFile(dir + "loud tone.wav", SquareWave16(16000, 88200));
  WriteFile(dir + "notes.txt", "not audio");
  // A log per run, in case a run's handle outlives it a moment.
  const std::string log = dir + "run";

  EXPECT_EQ(RunToolLogged("--loudness -23 --true-peak -1 \"" + dir + "*.wav\"", log + "1.log"), 0u)
      << ReadAll(log + "1.log");
  EXPECT_EQ(RunToolLogged("--analyze --json \"" + dir + "*.wav\"", log + "2.log"), 0u) << ReadAll(log + "2.log");
  const std::string lines = ReadAll(log + "2.log");
  std::istringstream in(lines);
  int files = 0;
  for (std::string line; std::getline(in, line);) {
    ++files;
    const auto at = line.find("\"integrated_lufs\":");
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_NEAR(std::stod(line.substr(at + 18)), -23.0, 0.1) << line;
  }
  EXPECT_EQ(files, 2) << lines;
  // --limit: a target that pushes the peaks past the ceiling limits them.
  EXPECT_EQ(RunToolLogged("--loudness -3 --true-peak -1 --limit \"" + dir + "*.wav\"", log + "4.log"), 0u)
      << ReadAll(log + "4.log");
  EXPECT_NE(ReadAll(log + "4.log").find("limited by up to"), std::string::npos) << ReadAll(log + "4.log");
  EXPECT_EQ(RunToolLogged("--analyze --json \"" + dir + "loud tone.wav\"", log + "5.log"), 0u);
  const std::string limited = ReadAll(log + "5.log");
  const auto peak = limited.find("\"true_peak_dbtp\":");
  ASSERT_NE(peak, std::string::npos) << limited;
  EXPECT_LE(std::stod(limited.substr(peak + 17)), -1.0) << limited;
  // Nothing matches: an input error, said as such.
  EXPECT_EQ(RunToolLogged("--analyze \"" + dir + "*.flac\"", log + "3.log"), 2u);
  EXPECT_NE(ReadAll(log + "3.log").find("no file matches"), std::string::npos) << ReadAll(log + "3.log");
}

// A folder stands for its WAV files in any letter case (-r: its subfolders'
// too), several are worked on at once with their lines in order, and Ctrl-C
// stops every file in flight, leaving each as it was.
TEST(RealTool, FoldersAndSeveralFilesAtOnce) {
  const std::string dir = ScratchDir("library");
  WriteFile(dir + "B.WAV", SquareWave16(4000, 88200));
  WriteFile(dir + "a.wav", SquareWave16(16000, 88200));
  WriteFile(dir + "sub\\c.Wav", SquareWave16(8000, 88200));
  WriteFile(dir + "notes.txt", "not audio");
  const std::string named = dir.substr(0, dir.size() - 1);  // no backslash before the closing quote
  const std::string log = ScratchDir("library logs") + "run";
  EXPECT_EQ(RunToolLogged("--analyze --json -r -j 2 \"" + named + "\"", log + "1.log"), 0u);
  // Each line starts with the file's name as a JSON string: its backslashes doubled.
  const auto start = [&](const std::string& name) {
    std::string line = "{\"file\":\"";
    for (const char c : dir + name) line += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return line + "\"";
  };
  std::istringstream lines(ReadAll(log + "1.log"));
  std::vector<std::string> starts;
  for (std::string line; std::getline(lines, line);) starts.push_back(line.substr(0, line.find(",\"")));
  EXPECT_EQ(starts, (std::vector<std::string>{start("B.WAV"), start("a.wav"), start("sub\\c.Wav")}))
      << ReadAll(log + "1.log");
  EXPECT_EQ(RunToolLogged("--album -m 100 \"" + named + "\"", log + "2.log"), 0u) << ReadAll(log + "2.log");
  EXPECT_NE(ReadAll(log + "2.log").find("album: 2 files"), std::string::npos) << ReadAll(log + "2.log");
  // Each folder an album of its own: the two files here, the one in sub.
  EXPECT_EQ(RunToolLogged("--album=folder -r -m 90 \"" + named + "\"", log + "3.log"), 0u) << ReadAll(log + "3.log");
  const std::string per_folder = ReadAll(log + "3.log");
  EXPECT_NE(per_folder.find("album: 2 files"), std::string::npos) << per_folder;
  EXPECT_NE(per_folder.find("album: 1 file,"), std::string::npos) << per_folder;

  const std::string folder = ScratchDir("batch");
  const std::string first = LargeWav(folder, "first.wav"), second = LargeWav(folder, "second.wav");
  ToolRun run("-a -6 -b 16 -j 2 \"" + first + "\" \"" + second + "\"", CREATE_NEW_CONSOLE);
  ASSERT_TRUE(WaitForTemporary(folder, 2));
  EXPECT_EQ(PressCtrlC(run.process), kExitInterrupted);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"first.wav", "second.wav"}));
  EXPECT_EQ(FirstSample(first), 1000);
  EXPECT_EQ(FirstSample(second), 1000);
}

// Windows walks folders by name: a folder whose path is longer than the ...A
// calls take cannot be listed, and is named with a failure instead of being
// skipped.
TEST(RealTool, AFolderThatCannotBeListedIsNamedAndFailsTheRun) {
  const std::string dir = ScratchDir("walk");
  WriteFile(dir + "deep\\a.wav", SquareWave16(4000, 88200));
  // Made with the wide calls, which take long paths.
  for (std::string deep = dir + "deep"; deep.size() <= MAX_PATH;) {
    deep += "\\" + std::string(100, 'd');
    std::wstring wide = L"\\\\?\\";
    for (const char c : deep) wide += static_cast<wchar_t>(c);
    ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) << deep.size();
  }
  const std::string log = ScratchDir("walk logs") + "run.log";
  EXPECT_EQ(RunToolLogged("--analyze -r \"" + dir + "deep\"", log), 2u) << ReadAll(log);
  EXPECT_NE(ReadAll(log).find("d: cannot list this folder: "), std::string::npos) << ReadAll(log);
  EXPECT_NE(ReadAll(log).find("a.wav: sample peak"), std::string::npos) << ReadAll(log);
}

}  // namespace
}  // namespace e2e
