#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "memory_registry.h"
#include "options/range_rules.h"

namespace quilbo {
namespace {

using testing::MemoryRegistry;
using Log = std::vector<std::string>;

constexpr RangeLimits kLimits[] = {{-100, 100}, {-30, 30}, {-100, 100}, {16, 16384}, {0, 30}};

// The window's controls as the store sees them, starting in the design state.
class FakeWindow : public SettingsView {
 public:
  std::array<std::string, 5> text = {"0", "0", "100", "64", "0"};  // ratio, level, percent, size, xlevel
  std::array<bool, 3> flags = {};                                  // MT, size?, level?
  std::optional<TAmplifyMode> mode = TAmplifyMode::amRatio;
  bool runMinimized = false;
  std::string toolDir;
  std::deque<std::string> folderAnswers;
  std::vector<std::string> folderRequests;
  std::vector<std::string> errors;
  mutable std::vector<std::string> notStored;
  bool closeRequestedAfter = false;  // a close request arrives during the next browser
  bool closeRequested = false;

  void SetNumber(NumericOption f, std::int64_t v) override {
    text[Index(f)] = RangeValueText(kLimits[Index(f)], v);
  }
  std::int32_t Number(NumericOption f) const override {
    return ReadRangeValue(kLimits[Index(f)], text[Index(f)]);
  }
  void SetFlag(FlagOption b, bool on) override { flags[static_cast<int>(b)] = on; }
  bool Flag(FlagOption b) const override { return flags[static_cast<int>(b)]; }
  void SelectMode(TAmplifyMode m) override { mode = m; }
  bool ModeSelected(TAmplifyMode m) const override { return mode == m; }
  void SetRunMinimized(bool on) override { runMinimized = on; }
  bool RunMinimized() const override { return runMinimized; }
  void SetToolDir(const std::string& dir) override { toolDir = dir; }
  std::string ChooseFolder(const std::string& title, int flagsValue) override {
    folderRequests.push_back(title + "|" + std::to_string(flagsValue));
    if (folderAnswers.empty()) {
      ADD_FAILURE() << "folder browser shown more often than expected";
      return "C:\\unexpected";
    }
    std::string answer = folderAnswers.front();
    folderAnswers.pop_front();
    if (closeRequestedAfter) closeRequested = true;
    return answer;
  }
  bool CloseRequested() const override { return closeRequested; }
  void ReportLoadError(const std::string& message) override { errors.push_back(message); }
  void ReportNotStored(const std::string& message) const override { notStored.push_back(message); }

  // What the window shows for one stored value, for table-driven checks.
  std::string Shown(const std::string& name) const {
    if (name == "NormDir") return toolDir;
    if (name == "Minimized") return runMinimized ? "on" : "off";
    if (name == "ratio") return text[0];
    if (name == "level") return text[1];
    if (name == "percent") return text[2];
    if (name == "size") return text[3];
    if (name == "xlevel") return text[4];
    if (name == "MT") return flags[0] ? "on" : "off";
    if (name == "size?") return flags[1] ? "on" : "off";
    if (name == "level?") return flags[2] ? "on" : "off";
    if (name == "cual?") {
      if (!mode) return "none";
      return *mode == TAmplifyMode::amRatio ? "ratio" : *mode == TAmplifyMode::amLevel ? "level" : "percent";
    }
    return "?";
  }

 private:
  static int Index(NumericOption f) {
    switch (f) {
      case NumericOption::Ratio: return 0;
      case NumericOption::Level: return 1;
      case NumericOption::Percent: return 2;
      case NumericOption::Size: return 3;
      case NumericOption::XLevel: return 4;
    }
    return 0;
  }
};

const std::vector<std::string> kAllNames = {"NormDir", "Minimized", "ratio", "level", "percent", "size",
                                            "xlevel",  "MT",        "size?", "level?", "cual?"};

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

TEST(SettingsStoreTest, FirstRunAsksUntilChosenAndWritesDefaultsInOrder) {
  MemoryRegistry registry;
  FakeWindow window;
  window.folderAnswers = {"", "", "D:\\Tools\\Norm"};

  LoadSettings(registry, window);

  const std::string request = "Select Normalize Directory|1";
  EXPECT_EQ(window.folderRequests, (Log{request, request, request}));
  EXPECT_EQ(window.toolDir, "D:\\Tools\\Norm\\");
  EXPECT_EQ(registry.log, (Log{"write NormDir=D:\\Tools\\Norm\\", "write Minimized=no", "write ratio=0",
                               "write level=0", "write percent=50", "write size=64", "write xlevel=0",
                               "write MT=no", "write size?=no", "write level?=no", "write cual?=a"}));
  EXPECT_EQ(registry.Get(SettingsKey, "NormDir")->bytes, Sz("D:\\Tools\\Norm\\"));
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(registry.openKeys, 0);

  // The defaults go to the store only: the window keeps percent 100 and -l.
  EXPECT_EQ(window.Shown("percent"), "100");
  EXPECT_EQ(window.Shown("cual?"), "ratio");

  // Closing then stores the window's state over the defaults.
  SaveSettings(registry, window);
  EXPECT_EQ(registry.GetText(SettingsKey, "percent"), "100");
  EXPECT_EQ(registry.GetText(SettingsKey, "cual?"), "l");

  // The next start is no first run.
  FakeWindow second;
  LoadSettings(registry, second);
  EXPECT_TRUE(second.folderRequests.empty());
  EXPECT_EQ(second.toolDir, "D:\\Tools\\Norm\\");
}

TEST(SettingsStoreTest, DriveRootGetsASecondBackslash) {
  MemoryRegistry registry;
  FakeWindow window;
  window.folderAnswers = {"C:\\"};
  LoadSettings(registry, window);
  EXPECT_EQ(registry.GetText(SettingsKey, "NormDir"), "C:\\\\");
  EXPECT_EQ(window.toolDir, "C:\\\\");
}

TEST(SettingsStoreTest, LoadsEachValueByItsDecodingRule) {
  struct Row {
    std::string name;
    RegValueKind kind;
    std::string bytes;
    std::string shown;  // what the window shows afterwards
    std::string error;  // the message reported, if any
    bool failRead = false;
  };
  const auto S = RegValueKind::String;
  const std::vector<Row> rows = {
      {"ratio", S, Sz("-42"), "-42", ""},
      {"ratio", S, Sz("500"), "100", ""},
      {"ratio", S, Sz("-500"), "-100", ""},
      {"level", S, Sz("x1F"), "30", ""},
      {"percent", S, Sz("+7"), "7", ""},
      {"size", S, Sz("1"), "16", ""},
      {"size", S, Sz("$100"), "256", ""},
      {"size", S, Sz(" 64"), "64", ""},
      {"size", S, Sz("2147483647"), "16384", ""},
      {"xlevel", S, Sz("0x0A"), "10", ""},
      {"xlevel", S, std::string("12\0" "99", 5), "12", ""},  // text ends at its first zero
      {"xlevel", S, "7", "7", ""},                 // stored without a terminating zero
      {"size", S, Sz("64 "), "64", "'64 ' is not a valid integer value"},
      {"ratio", S, Sz("abc"), "0", "'abc' is not a valid integer value"},
      {"ratio", S, Sz("2147483648"), "0", "'2147483648' is not a valid integer value"},
      {"ratio", S, "", "0", "'' is not a valid integer value"},
      {"ratio", RegValueKind::Other, std::string("\x05\0\0\0", 4), "0", "Invalid data type for 'ratio'"},
      {"ratio", RegValueKind::Other, "", "0", "'' is not a valid integer value"},  // empty data is text
      {"level", S, Sz("5"), "0", "Failed to get data for 'level'", true},
      {"Minimized", S, Sz("yes"), "on", ""},
      {"Minimized", S, Sz("Yes"), "off", ""},
      {"MT", S, Sz("yes"), "on", ""},
      {"MT", S, Sz("YES"), "off", ""},
      {"MT", S, Sz("yes "), "off", ""},
      {"MT", RegValueKind::Other, "", "off", ""},
      {"size?", S, Sz("yes"), "on", ""},
      {"level?", S, Sz("yes"), "on", ""},
      {"level?", RegValueKind::ExpandString, Sz("yes"), "on", ""},
      {"cual?", S, Sz("l"), "ratio", ""},
      {"cual?", S, Sz("a"), "level", ""},
      {"cual?", S, Sz("m"), "percent", ""},
      {"cual?", S, Sz("x"), "percent", ""},
      {"cual?", S, Sz("L"), "percent", ""},
      {"cual?", S, "", "percent", ""},
      {"NormDir", S, Sz("C:\\norm\\"), "C:\\norm\\", ""},
      {"NormDir", RegValueKind::ExpandString, Sz("%ProgramFiles%\\n\\"), "%ProgramFiles%\\n\\", ""},
      {"NormDir", S, "", "", ""},
      {"NormDir", RegValueKind::Other, "\x01", "", "Invalid data type for 'NormDir'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + " = \"" + row.bytes + "\"");
    MemoryRegistry registry;
    for (const std::string& name : kAllNames) {
      if (name != row.name) registry.PutString(SettingsKey, name, name == "NormDir" ? "C:\\n\\" : "");
    }
    // Empty texts are fine for flags and the mode; the numbers need real ones.
    for (const char* number : {"ratio", "level", "percent", "size", "xlevel"}) {
      if (row.name != number) registry.PutString(SettingsKey, number, "1");
    }
    registry.Put(SettingsKey, row.name, row.kind, row.bytes);
    if (row.failRead) registry.failingReads.insert(row.name);
    FakeWindow window;

    LoadSettings(registry, window);

    EXPECT_EQ(window.Shown(row.name), row.shown);
    EXPECT_EQ(window.errors, row.error.empty() ? Log{} : Log{row.error});
    EXPECT_TRUE(registry.log.empty()) << "nothing is written when every value exists";
    EXPECT_TRUE(window.folderRequests.empty());
    EXPECT_EQ(registry.openKeys, 0);
  }
}

TEST(SettingsStoreTest, AFailingValueIsReportedAndTheRestStillLoad) {
  MemoryRegistry registry;
  registry.PutString(SettingsKey, "NormDir", "C:\\n\\");
  registry.PutString(SettingsKey, "Minimized", "yes");
  registry.PutString(SettingsKey, "ratio", "5");
  registry.PutString(SettingsKey, "level", "abc");
  registry.PutString(SettingsKey, "percent", "80");
  // "size" is missing and its default cannot be written.
  registry.Put(SettingsKey, "xlevel", RegValueKind::Other, std::string("\x03\0\0\0", 4));
  registry.PutString(SettingsKey, "MT", "yes");
  registry.PutString(SettingsKey, "size?", "yes");
  // "level?" is missing and gets its default.
  registry.PutString(SettingsKey, "cual?", "m");
  registry.failingWrites.insert("size");
  FakeWindow window;

  LoadSettings(registry, window);

  EXPECT_EQ(window.errors, (Log{"'abc' is not a valid integer value", "Failed to set data for 'size'",
                                "Invalid data type for 'xlevel'"}));
  EXPECT_EQ(window.Shown("ratio"), "5");
  EXPECT_EQ(window.Shown("level"), "0");
  EXPECT_EQ(window.Shown("percent"), "80");
  EXPECT_EQ(window.Shown("size"), "64");
  EXPECT_EQ(window.Shown("xlevel"), "0");
  EXPECT_EQ(window.Shown("MT"), "on");
  EXPECT_EQ(window.Shown("size?"), "on");
  EXPECT_EQ(window.Shown("cual?"), "percent");
  EXPECT_TRUE(window.runMinimized);
  EXPECT_EQ(registry.log, (Log{"write level?=no"}));
  EXPECT_EQ(registry.openKeys, 0);
}

// A close request ends the browser as a cancel: the prompt stops, nothing is
// stored or used, the other values still load, and the next start asks again.
TEST(SettingsStoreTest, FirstRunPromptEndsWithoutAFolderOnACloseRequest) {
  MemoryRegistry registry;
  registry.PutString(SettingsKey, "ratio", "7");
  FakeWindow window;
  window.folderAnswers = {"", ""};
  window.closeRequestedAfter = true;
  LoadSettings(registry, window);
  EXPECT_EQ(window.folderRequests.size(), 1u);
  EXPECT_EQ(window.toolDir, "");
  EXPECT_FALSE(registry.Get(SettingsKey, "NormDir").has_value());
  EXPECT_EQ(window.Shown("ratio"), "7");
  EXPECT_TRUE(window.errors.empty());
}

// A stored tool folder that cannot serve is reported, and kept, so that the
// launch refuses it rather than looking "normalize" up elsewhere; a huge bad
// number is quoted short.
TEST(SettingsStoreTest, UnusableStoredValuesAreReportedShort) {
  const std::string longDir = "C:\\" + std::string(1000, 'd') + "\\";
  const struct {
    const char* name;
    std::string stored;
    std::string error;
  } cases[] = {
      {"NormDir", "C:\\tools", "'C:\\tools' is not a usable tool folder: it does not end in a backslash"},
      {"NormDir", longDir,
       "'" + longDir.substr(0, 60) + "...' is not a usable tool folder: the tool's path would be 1013 "
       "characters long, and Windows takes at most 259"},
      {"ratio", std::string(100000, '9'), "'" + std::string(60, '9') + "...' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    MemoryRegistry registry;
    registry.PutString(SettingsKey, "NormDir", "C:\\n\\");
    registry.PutString(SettingsKey, c.name, c.stored);
    FakeWindow window;
    LoadSettings(registry, window);
    EXPECT_EQ(window.errors, (Log{c.error})) << c.name;
    EXPECT_EQ(window.toolDir, std::string(c.name) == "NormDir" ? c.stored : "C:\\n\\");
  }
  // Empty stays the documented "look the tool up by name".
  MemoryRegistry registry;
  registry.PutString(SettingsKey, "NormDir", "");
  FakeWindow window;
  LoadSettings(registry, window);
  EXPECT_TRUE(window.errors.empty());
}

TEST(SettingsStoreTest, FirstRunDirectoryIsUsedEvenIfItCannotBeStored) {
  MemoryRegistry registry;
  registry.failingWrites.insert("NormDir");
  FakeWindow window;
  window.folderAnswers = {"E:\\n"};
  LoadSettings(registry, window);
  EXPECT_EQ(window.toolDir, "E:\\n\\");
  EXPECT_EQ(window.errors, (Log{"Failed to set data for 'NormDir'"}));
  EXPECT_EQ(registry.log.size(), 10u) << "the defaults are still written";
}

TEST(SettingsStoreTest, SavesTheReadValuesInOrder) {
  MemoryRegistry registry;
  registry.AddKey(SettingsKey);
  FakeWindow window;
  window.text = {"500", "abc", "", "$1F", "7"};  // typed, not yet clamped on leaving
  window.flags = {true, false, true};
  window.mode = TAmplifyMode::amLevel;
  window.runMinimized = true;
  window.toolDir = "C:\\x\\";

  SaveSettings(registry, window);

  EXPECT_EQ(registry.log, (Log{"write ratio=500", "write level=-30", "write percent=-100", "write size=31",
                               "write xlevel=7", "write MT=yes", "write cual?=a", "write size?=no",
                               "write level?=yes"}));
  EXPECT_EQ(registry.Get(SettingsKey, "ratio")->bytes, Sz("500"));
  EXPECT_EQ(registry.Get(SettingsKey, "ratio")->kind, RegValueKind::String);
  EXPECT_EQ(registry.openKeys, 0);

  // What was saved comes back, clamped by the fields.
  registry.PutString(SettingsKey, "NormDir", "C:\\x\\");
  registry.PutString(SettingsKey, "Minimized", "no");
  FakeWindow next;
  LoadSettings(registry, next);
  EXPECT_EQ(next.text, (std::array<std::string, 5>{"100", "-30", "-100", "31", "7"}));
  EXPECT_EQ(next.flags, window.flags);
  EXPECT_EQ(next.mode, TAmplifyMode::amLevel);
  EXPECT_TRUE(next.errors.empty());

  const std::pair<std::optional<TAmplifyMode>, std::string> modes[] = {
      {TAmplifyMode::amRatio, "l"}, {TAmplifyMode::amLevel, "a"}, {TAmplifyMode::amPercent, "m"}, {{}, "m"}};
  for (const auto& [mode, stored] : modes) {
    window.mode = mode;
    SaveSettings(registry, window);
    EXPECT_EQ(registry.GetText(SettingsKey, "cual?"), stored);
  }
}

TEST(SettingsStoreTest, SaveStopsAtAFailingWrite) {
  MemoryRegistry registry;
  registry.AddKey(SettingsKey);
  registry.failingWrites.insert("percent");
  FakeWindow window;
  try {
    SaveSettings(registry, window);
    FAIL() << "no error";
  } catch (const SettingsError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'percent'");
  }
  EXPECT_EQ(registry.log, (Log{"write ratio=0", "write level=0"}));
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(SettingsStoreTest, SaveAndToggleNeedAnExistingKey) {
  MemoryRegistry registry;
  FakeWindow window;
  SaveSettings(registry, window);
  ToggleRunMinimized(registry, window);
  EXPECT_TRUE(window.runMinimized);
  EXPECT_TRUE(registry.log.empty());
  EXPECT_FALSE(registry.HasKey(SettingsKey));

  registry.AddKey(SettingsKey);
  ToggleRunMinimized(registry, window);
  ToggleRunMinimized(registry, window);
  EXPECT_EQ(registry.log, (Log{"write Minimized=no", "write Minimized=yes"}));
  EXPECT_TRUE(window.runMinimized);
}

TEST(SettingsStoreTest, ReselectStoresAndUsesTheNewDirectory) {
  MemoryRegistry registry;
  FakeWindow window;
  window.toolDir = "C:\\old\\";
  window.folderAnswers = {"", "D:\\new"};

  EXPECT_FALSE(ReselectToolDir(registry, window));  // cancelled: asked once, nothing stored
  EXPECT_EQ(window.folderRequests.size(), 1u);
  EXPECT_EQ(window.toolDir, "C:\\old\\");
  EXPECT_TRUE(registry.log.empty());

  EXPECT_TRUE(ReselectToolDir(registry, window));
  EXPECT_EQ(window.toolDir, "D:\\new\\");
  EXPECT_EQ(registry.log, (Log{"write NormDir=D:\\new\\"}));
  EXPECT_EQ(registry.openKeys, 0);
}

TEST(SettingsStoreTest, RemoveDeletesDepthFirstFromTheLastSubkey) {
  MemoryRegistry registry;
  const std::string key = SettingsKey;
  registry.PutString(key, "ratio", "1");
  registry.AddKey(key + "\\a\\a1");
  registry.AddKey(key + "\\a\\a2\\deep");
  registry.AddKey(key + "\\B");
  registry.AddKey("\\software\\Other");

  RemoveSettings(registry);

  EXPECT_EQ(registry.log, (Log{"delete " + key + "\\B", "delete " + key + "\\a\\a2\\deep", "delete " + key + "\\a\\a2",
                               "delete " + key + "\\a\\a1", "delete " + key + "\\a", "delete " + key,
                               "delete \\software\\Quilbo"}));
  EXPECT_TRUE(registry.HasKey("\\software\\Other"));
  EXPECT_EQ(registry.openKeys, 0);

  // The next start is a first run.
  FakeWindow window;
  window.folderAnswers = {"C:\\n"};
  LoadSettings(registry, window);
  EXPECT_EQ(window.folderRequests.size(), 1u);
}

TEST(SettingsStoreTest, RemoveKeepsAVendorKeyThatHoldsOtherProducts) {
  MemoryRegistry registry;
  registry.PutString(SettingsKey, "ratio", "1");
  registry.AddKey("\\software\\Quilbo\\OtherProduct");
  RemoveSettings(registry);
  EXPECT_EQ(registry.log, (Log{"delete " + std::string(SettingsKey)}));
  EXPECT_TRUE(registry.HasKey(VendorKey));

  // A deletion that fails is said; the vendor key stays with it.
  MemoryRegistry stuck;
  stuck.PutString(SettingsKey + std::string("\\sub"), "x", "1");
  stuck.failingDeletes.insert(SettingsKey + std::string("\\sub"));
  EXPECT_EQ(RemoveSettings(stuck),
            "The settings could not be removed: the registry key HKEY_LOCAL_MACHINE\\software\\Quilbo\\Brackenhollow "
            "is still there. The program closes without saving over it.");
  EXPECT_TRUE(stuck.HasKey(SettingsKey));
  EXPECT_TRUE(stuck.HasKey(VendorKey));
  MemoryRegistry empty;
  EXPECT_EQ(RemoveSettings(empty), std::nullopt) << "nothing to remove is no failure";
}

// A key that may be read but not written: nothing is read, asked or written,
// every operation that would store says why, and a folder chosen again is
// used all the same.
TEST(SettingsStoreTest, WithoutWriteAccessNothingIsReadOrWrittenAndItIsSaid) {
  MemoryRegistry registry;
  registry.PutString(SettingsKey, "ratio", "9");
  registry.denyAccess = true;
  FakeWindow window;
  window.folderAnswers = {"D:\\tools", "E:\\x"};

  LoadSettings(registry, window);
  SaveSettings(registry, window);
  EXPECT_TRUE(ReselectToolDir(registry, window));
  ToggleRunMinimized(registry, window);
  EXPECT_NE(RemoveSettings(registry), std::nullopt);

  EXPECT_EQ(window.toolDir, "D:\\tools\\");
  EXPECT_EQ(window.Shown("ratio"), "0");
  EXPECT_TRUE(window.errors.empty());
  ASSERT_EQ(window.notStored.size(), 4u);  // load, save, choice, check mark
  EXPECT_NE(window.notStored[0].find(": it can be read but not written."), std::string::npos);
  EXPECT_TRUE(registry.log.empty());
  EXPECT_EQ(registry.GetText(SettingsKey, "ratio"), "9");

  // No key, and none can be made: the choice is not stored either; a save
  // has nothing to go into and says nothing.
  MemoryRegistry none;
  none.denyAccess = true;
  EXPECT_TRUE(ReselectToolDir(none, window));
  SaveSettings(none, window);
  EXPECT_EQ(window.notStored.size(), 5u);
  EXPECT_NE(window.notStored.back().find(": it cannot be created."), std::string::npos);
}

}  // namespace
}  // namespace quilbo
