// The harness itself, against windows that are always there: Wine's notepad,
// the stand-in, the registry and the system dialogs opened by the driver. A
// program of its own, which scripts/test runs before the program's tests and
// reports on its own line: these say nothing about the program.
#include "harness/harness.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <future>

using namespace e2e;

TEST(HarnessCheck, DrivesAnotherProcessWindow) {
  StartOptions o;
  o.exe = "C:\\windows\\system32\\notepad.exe";
  o.mainClass = "Notepad";
  o.registry = StartOptions::Registry::Keep;
  App app(o);
  ASSERT_NE(app.Main(), nullptr);
  HWND edit = nullptr;
  for (HWND c : Children(app.Main()))
    if (ClassName(c) == "Edit") edit = c;
  ASSERT_NE(edit, nullptr);

  SetText(edit, "héllo");
  EXPECT_EQ(Text(edit), "héllo");
  ASSERT_TRUE(Focus(edit));
  KeyPress(VK_END);
  TypeText(" A1");
  EXPECT_TRUE(WaitUntil([&] { return Text(edit) == "héllo A1"; })) << Text(edit);
  PostChars(edit, "z");
  EXPECT_TRUE(WaitUntil([&] { return Text(edit) == "héllo A1z"; })) << Text(edit);
  // The process's own CPU time: starting up and drawing took some.
  EXPECT_GT(app.CpuTime().count(), 0);
}

TEST(HarnessCheck, StandInRecordsCommandLineDirectoryAndShowCommand) {
  const std::string dir = ScratchDir("tool dir");
  CopyFileTo(StandInPath(), dir + "normalize.exe");
  const std::string params = "-l 0 \"C:\\a b\\Привет 日本.wav\"";
  ShellExecuteA(nullptr, "open", (dir + "normalize").c_str(), params.c_str(), dir.c_str(), SW_SHOWMINIMIZED);
  const auto launches = WaitForLaunches(1, dir);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].commandLine, "\"" + dir + "normalize\" " + params);
  EXPECT_EQ(launches[0].args, (std::vector<std::string>{"-l", "0", "C:\\a b\\Привет 日本.wav"}));
  EXPECT_EQ(launches[0].currentDir + "\\", dir);
  EXPECT_TRUE(launches[0].useShowWindow);
  EXPECT_EQ(launches[0].showWindow, SW_SHOWMINIMIZED);
  ClearLaunches(dir);
  EXPECT_TRUE(Launches(dir).empty());
}

TEST(HarnessCheck, RegistrySeedReadDenyDelete) {
  reg::DeleteSettings();
  EXPECT_FALSE(reg::SettingsKeyExists());
  reg::Write("NormDir", "C:\\tools\\");
  reg::Write("ratio", "5");
  EXPECT_EQ(reg::Read("NormDir"), "C:\\tools\\");
  EXPECT_EQ(reg::ReadAll(), (std::map<std::string, std::string>{{"NormDir", "C:\\tools\\"}, {"ratio", "5"}}));
  EXPECT_EQ(reg::Type("ratio"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(reg::Read("missing"), std::nullopt);

  reg::DenyWrite();
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\Quilbo\\Brackenhollow", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_TRUE(reg::SettingsKeyExists());
  reg::DeleteSettings();
  EXPECT_FALSE(reg::SettingsKeyExists());
  EXPECT_FALSE(reg::VendorKeyExists());
}

namespace {
HWND WaitForOwnDialog() {
  HWND found = nullptr;
  WaitUntil([&] {
    const auto all = TopLevelWindows(GetCurrentProcessId(), "#32770");
    found = all.empty() ? nullptr : all.front();
    return found != nullptr;
  });
  return found;
}
}  // namespace

TEST(HarnessCheck, DrivesTheFileDialogAndTheFolderBrowser) {
  const std::string dir = ScratchDir("pick");
  WriteFile(dir + "in.wav");
  auto chosen = std::async(std::launch::async, [] {
    char file[260] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = "Wave Files!\0*.wav\0The Rest!\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    return GetOpenFileNameA(&ofn) ? std::string(file) + "|" + std::to_string(ofn.nFilterIndex)
                                  : std::string("(cancelled)");
  });
  HWND dialog = WaitForOwnDialog();
  ASSERT_TRUE(IsFileDialog(dialog));
  EXPECT_EQ(FileDialogFilter(dialog), "Wave Files!");
  SelectFilterInDialog(dialog, 1);
  EXPECT_EQ(FileDialogFilter(dialog), "The Rest!");
  ChooseFileInDialog(dialog, dir + "in.wav");
  ASSERT_EQ(chosen.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(chosen.get(), dir + "in.wav|2");

  auto folder = std::async(std::launch::async, [] {
    CoInitialize(nullptr);
    BROWSEINFOA bi{};
    bi.lpszTitle = "Select Normalize Directory";
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    std::string result = "(cancelled)";
    if (LPITEMIDLIST item = SHBrowseForFolderA(&bi)) {
      char path[MAX_PATH + 1] = {};
      SHGetPathFromIDListA(item, path);
      result = path;
      CoTaskMemFree(item);
    }
    CoUninitialize();
    return result;
  });
  dialog = WaitForOwnDialog();
  ASSERT_TRUE(IsFolderBrowser(dialog));
  ASSERT_TRUE(SelectFolderInBrowser(dialog, dir));
  OkDialog(dialog);
  ASSERT_EQ(folder.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(folder.get() + "\\", dir);
}
