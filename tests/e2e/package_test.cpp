// The packages as a Windows user meets them: the installer run silently, run
// again over the first install, the uninstaller, and the portable zip.
// scripts/test makes the packages and names them in the environment:
// QUILBO_SETUP is the setup program, QUILBO_UNZIPPED the folder the zip was
// unpacked into.
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>
#include <set>
#include <string>

#include "harness/harness.h"
#include "quilbo_version.h"

#include <shlobj.h>

namespace e2e {
namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quilbo";
constexpr const char* kPortableFolder = "Quilbo-" QUILBO_VERSION_TEXT;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = "";
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

bool KeyExists(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A value of the uninstall entry as text (a DWORD as its decimal form).
std::string UninstallValue(const char* name) {
  char data[1024] = "";
  DWORD size = sizeof data - 1, type = REG_NONE;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, data, &size) !=
      ERROR_SUCCESS) {
    return "";
  }
  if (type == REG_DWORD) return std::to_string(*reinterpret_cast<const DWORD*>(data));
  return data;
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.insert(name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}

std::optional<DWORD> Install(const std::string& setup) { return RunAndWait("\"" + setup + "\" /S"); }

TEST(Package, SetupInstallsReinstallsKeepingTheOptionsAndUninstallsWithoutATrace) {
  const std::string setup = Environment("QUILBO_SETUP");
  ASSERT_FALSE(setup.empty()) << "QUILBO_SETUP is not set: scripts/test makes the packages and sets it";
  reg::DeleteSettings();  // a machine that has never seen the program
  const std::string installDir = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quilbo\\";
  const std::string shortcut = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Quilbo.lnk";
  const std::set<std::string> installed = {"Quilbo.exe", "normalize.exe", "README.txt", "LICENSE.txt", "demo.wav",
                                           "uninstall.exe", "uninstall-files.exe"};

  ASSERT_EQ(Install(setup), 0u);
  EXPECT_EQ(FilesIn(installDir), installed);
  EXPECT_TRUE(FileExists(shortcut)) << shortcut;
  EXPECT_EQ(UninstallValue("DisplayName"), "Quilbo");
  EXPECT_EQ(UninstallValue("DisplayVersion"), QUILBO_VERSION_TEXT);
  EXPECT_EQ(UninstallValue("Publisher"), "The Quilbo-FE project");
  EXPECT_EQ(UninstallValue("UninstallString"), "\"" + installDir + "uninstall.exe\"");
  EXPECT_EQ(UninstallValue("DisplayIcon"), installDir + "Quilbo.exe,0");
  EXPECT_GT(std::atoi(UninstallValue("EstimatedSize").c_str()), 1000);  // in KB
  EXPECT_EQ(reg::Read("NormDir"), installDir);

  // Started from the install folder the program knows its tool at once, and
  // "Go!" makes the quiet demo tone full scale with the installed tool.
  const std::string demo = installDir + "demo.wav";
  const int quietPeak = PeakOf16BitWav(demo);
  EXPECT_GT(quietPeak, 0);
  EXPECT_LT(quietPeak, 16384);
  {
    StartOptions options;
    options.registry = StartOptions::Registry::Keep;
    options.exe = installDir + "Quilbo.exe";
    App app(options);
    ASSERT_NE(app.Main(), nullptr) << "no main window (a folder prompt instead?)";
    EXPECT_EQ(app.Dialog(), nullptr);
    app.SendClick(IDC_RADIOBUTTON3);
    app.SetText(IDC_SPINEDIT3, "100");
    app.SendClick(IDC_CHECKBOX1);
    app.SetText(IDC_SPINEDIT5, "128");
    ASSERT_TRUE(app.PickFile(IDC_BITBTN2, demo));
    const std::string expected = "-m 100 -b 128 \"" + demo + "\"";
    ASSERT_EQ(app.WaitForCommandLine(expected), expected);
    app.Click(IDC_BUTTON1);
    WaitForToolRun();
    EXPECT_GE(PeakOf16BitWav(demo), 32766);
    PostClose(app.Main());
    EXPECT_TRUE(app.WaitForExit());
  }

  // A second install over the first keeps what the user stored, the tool folder
  // chosen since included.
  reg::Write("NormDir", "C:\\Tools\\Norm\\");
  const auto stored = reg::ReadAll();
  EXPECT_EQ(stored.at("cual?"), "m");
  EXPECT_EQ(stored.at("size"), "128");
  ASSERT_EQ(Install(setup), 0u);
  EXPECT_EQ(reg::ReadAll(), stored);
  EXPECT_EQ(FilesIn(installDir), installed);

  ASSERT_EQ(RunAndWait(UninstallValue("QuietUninstallString")), 0u);
  EXPECT_FALSE(FileExists(installDir)) << "left: " << ::testing::PrintToString(FilesIn(installDir));
  EXPECT_FALSE(FileExists(shortcut));
  EXPECT_FALSE(KeyExists(kUninstallKey));
  EXPECT_FALSE(reg::SettingsKeyExists());
  EXPECT_FALSE(reg::VendorKeyExists());
}

// While Quilbo runs, a silent setup or uninstall changes nothing and says so.
TEST(Package, SetupAndUninstallRefuseWhileQuilboRunsAndWorkOnceItIsClosed) {
  const std::string setup = Environment("QUILBO_SETUP");
  ASSERT_FALSE(setup.empty()) << "QUILBO_SETUP is not set: scripts/test makes the packages and sets it";
  reg::DeleteSettings();
  const std::string installDir = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Quilbo\\";
  ASSERT_EQ(Install(setup), 0u);
  const std::string uninstall = UninstallValue("QuietUninstallString");
  const auto state = [&] {
    return std::tuple(FilesIn(installDir), KeyExists(kUninstallKey), reg::ReadAll(),
                      FileExists(ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Quilbo.lnk"));
  };
  {
    StartOptions options;
    options.registry = StartOptions::Registry::Keep;
    options.exe = installDir + "Quilbo.exe";
    App app(options);
    ASSERT_NE(app.Main(), nullptr);
    const auto before = state();
    // The last: the documented way to wait for the uninstaller's own result.
    for (const std::string& run : {"\"" + setup + "\" /S", uninstall,
                                   uninstall + " _?=" + installDir.substr(0, installDir.size() - 1)}) {
      EXPECT_NE(RunAndWait(run).value_or(0), 0u) << run;
      EXPECT_EQ(state(), before) << run;
    }
    PostClose(app.Main());
    ASSERT_TRUE(app.WaitForExit());
  }
  // Closed: an install over it (an upgrade) keeps what is stored, and the
  // uninstall goes through.
  reg::Write("size", "256");
  ASSERT_EQ(Install(setup), 0u);
  EXPECT_EQ(reg::Read("size"), "256");
  ASSERT_EQ(RunAndWait(uninstall), 0u);
  EXPECT_FALSE(FileExists(installDir)) << "left: " << ::testing::PrintToString(FilesIn(installDir));
  EXPECT_FALSE(KeyExists(kUninstallKey));
}

// The Unix file of Wine's desktop entry for the Start-menu shortcut, as a
// Windows path; empty where the environment does not say (not under Wine).
std::string WineMenuEntry() {
  std::string path = Environment("XDG_DATA_HOME");
  if (path.empty()) return "";
  path = "Z:" + path + "/applications/wine/Programs/Quilbo.desktop";
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// /D= with folders that did not exist: the uninstall removes them again, up to
// the folder that was there before, and Wine's menu entry with the shortcut.
TEST(Package, UninstallRemovesTheFoldersAndTheMenuEntryTheInstallMade) {
  const std::string setup = Environment("QUILBO_SETUP");
  ASSERT_FALSE(setup.empty()) << "QUILBO_SETUP is not set: scripts/test makes the packages and sets it";
  reg::DeleteSettings();
  const std::string before = ScratchDir();
  const std::string installDir = before + "My Apps\\Audio\\Quilbo";
  ASSERT_EQ(RunAndWait("\"" + setup + "\" /S /D=" + installDir), 0u);
  ASSERT_TRUE(FileExists(installDir + "\\Quilbo.exe"));
  const std::string menuEntry = WineMenuEntry();
  // Wine's menu builder makes it on its own, after the install has ended.
  if (!menuEntry.empty()) {
    EXPECT_TRUE(WaitUntil([&] { return FileExists(menuEntry); })) << menuEntry;
  }

  // A second install over it: the folders are still the first install's.
  ASSERT_EQ(RunAndWait("\"" + setup + "\" /S"), 0u);
  ASSERT_EQ(RunAndWait(UninstallValue("QuietUninstallString")), 0u);
  EXPECT_FALSE(FileExists(before + "My Apps")) << "left: " << ::testing::PrintToString(FilesIn(before));
  EXPECT_TRUE(FileExists(before));
  if (!menuEntry.empty()) {
    EXPECT_FALSE(FileExists(menuEntry)) << menuEntry;
  }

  // A folder holding something of the user's stays, and so does everything above it.
  ASSERT_EQ(RunAndWait("\"" + setup + "\" /S /D=" + installDir), 0u);
  WriteFile(before + "My Apps\\notes.txt", "mine");
  ASSERT_EQ(RunAndWait(UninstallValue("QuietUninstallString")), 0u);
  EXPECT_FALSE(FileExists(before + "My Apps\\Audio"));
  EXPECT_TRUE(FileExists(before + "My Apps\\notes.txt"));
}

TEST(Package, PortableCopyAsksForTheToolFolderOnItsFirstRun) {
  const std::string unzipped = Environment("QUILBO_UNZIPPED");
  ASSERT_FALSE(unzipped.empty()) << "QUILBO_UNZIPPED is not set: scripts/test unpacks the zip and sets it";
  EXPECT_EQ(FilesIn(unzipped + "\\"), std::set<std::string>{kPortableFolder});
  const std::string folder = unzipped + "\\" + kPortableFolder + "\\";
  EXPECT_EQ(FilesIn(folder),
            (std::set<std::string>{"Quilbo.exe", "normalize.exe", "README.txt", "LICENSE.txt", "demo.wav"}));

  StartOptions options;
  options.registry = StartOptions::Registry::FirstRun;
  options.exe = folder + "Quilbo.exe";
  options.waitForMainWindow = false;
  App app(options);
  const HWND browser = app.WaitForDialog(Ms(15000));
  ASSERT_TRUE(browser && IsFolderBrowser(browser)) << "no folder browser at the first run";
  ASSERT_TRUE(SelectFolderInBrowser(browser, folder));
  OkDialog(browser);
  ASSERT_NE(app.WaitForMain(), nullptr);
  EXPECT_EQ(reg::Read("NormDir"), folder);
}

}  // namespace
}  // namespace e2e
