// The settings load over arbitrary stored values: any bytes, any value type,
// missing values, failing reads and writes. It never crashes, every number it
// gives a field ends up inside the field's range, every value is decoded by its
// rule, and every error is one of the store's messages about the right value.
// What was loaded saves and loads back unchanged.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "../unit/memory_registry.h"
#include "options/integer_text.h"
#include "options/message_quote.h"
#include "options/range_rules.h"
#include "settings/settings_store.h"

namespace {

using namespace quilbo;
using quilbo::testing::MemoryRegistry;
using Log = std::vector<std::string>;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The fields' ranges as the main window creates them.
constexpr RangeLimits kLimits[] = {{-100, 100}, {-30, 30}, {-100, 100}, {16, 16384}, {0, 30}};
const char* const kNumberNames[] = {"ratio", "level", "percent", "size", "xlevel"};
const char* const kFlagNames[] = {"MT", "size?", "level?"};

int Index(NumericOption f) { return static_cast<int>(f); }

// The window as the store sees it: a field keeps the text its setter makes of
// the value (clamped), as the real field does. Every call is logged.
class FakeWindow : public SettingsView {
 public:
  std::array<std::string, 5> text = {"0", "0", "100", "64", "0"};
  std::array<bool, 3> flags = {};
  TAmplifyMode mode = TAmplifyMode::amRatio;
  bool runMinimized = false;
  std::string toolDir;
  int emptyFolderAnswers = 0;  // cancels before a folder is chosen
  Log log;

  void SetNumber(NumericOption f, std::int64_t v) override {
    const RangeLimits limits = kLimits[Index(f)];
    text[Index(f)] = RangeValueText(limits, v);
    const std::int32_t shown = ReadRangeValue(limits, text[Index(f)]);
    Check(shown >= limits.minimum && shown <= limits.maximum);
    log.push_back(std::string("number ") + kNumberNames[Index(f)] + "=" + text[Index(f)]);
  }
  std::int32_t Number(NumericOption f) const override { return ReadRangeValue(kLimits[Index(f)], text[Index(f)]); }
  void SetFlag(FlagOption b, bool on) override {
    flags[static_cast<int>(b)] = on;
    log.push_back(std::string("flag ") + kFlagNames[static_cast<int>(b)] + "=" + (on ? "1" : "0"));
  }
  bool Flag(FlagOption b) const override { return flags[static_cast<int>(b)]; }
  void SelectMode(TAmplifyMode m) override {
    mode = m;
    log.push_back("mode " + std::to_string(static_cast<int>(m)));
  }
  bool ModeSelected(TAmplifyMode m) const override { return mode == m; }
  void SetRunMinimized(bool on) override {
    runMinimized = on;
    log.push_back(std::string("minimized ") + (on ? "1" : "0"));
  }
  bool RunMinimized() const override { return runMinimized; }
  void SetToolDir(const std::string& dir) override {
    toolDir = dir;
    log.push_back("tooldir " + dir);
  }
  std::string ChooseFolder(const std::string&, int) override {
    log.push_back("choose");
    if (emptyFolderAnswers > 0) {
      --emptyFolderAnswers;
      return "";
    }
    return "C:\\tools";
  }
  void ReportLoadError(const std::string& message) override { log.push_back("error " + message); }
  void ReportNotStored(const std::string& message) const override { notStored.push_back(message); }
  mutable Log notStored;
};

struct StoredValue {
  StoredValue(const char* valueName, const char* valueDefault) : name(valueName), defaultText(valueDefault) {}
  const char* name;
  const char* defaultText;  // nullptr for "NormDir"
  enum { Absent, String, ExpandString, Other } presence = Absent;
  std::string bytes;
  bool readFails = false;
  bool writeFails = false;
};

// What one load step does to the window and the registry, by the decoding rules.
struct Step {
  Log view;
  Log writes;
  bool failed = false;
};

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

Step Expect(const StoredValue& v, int emptyFolderAnswers) {
  Step step;
  const std::string name = v.name;
  auto fail = [&](const std::string& message) {
    step.view.push_back("error " + message);
    step.failed = true;
  };
  if (v.presence == StoredValue::Absent) {
    if (!v.defaultText) {  // first run: asked until a folder is chosen
      for (int i = 0; i <= emptyFolderAnswers; ++i) step.view.push_back("choose");
      step.view.push_back("tooldir C:\\tools\\");
      if (v.writeFails) fail("Failed to set data for " + Quoted(name));
      else step.writes.push_back("write NormDir=C:\\tools\\");
      return step;
    }
    if (v.writeFails) fail("Failed to set data for " + Quoted(name));
    else step.writes.push_back("write " + name + "=" + v.defaultText);
    return step;
  }
  std::string text;
  if (!v.bytes.empty()) {
    if (v.readFails) {
      fail("Failed to get data for " + Quoted(name));
      return step;
    }
    if (v.presence == StoredValue::Other) {
      fail("Invalid data type for " + Quoted(name));
      return step;
    }
    text = v.bytes.substr(0, v.bytes.find('\0'));
  }
  if (!v.defaultText) {
    // Kept even when the tool's name cannot follow it; the stored texts here
    // are too short for the shell's limit, and so quoted whole.
    step.view.push_back("tooldir " + text);
    if (!text.empty() && text.back() != '\\')
      fail(Quoted(text) + " is not a usable tool folder: it does not end in a backslash");
  } else if (name == "Minimized") {
    step.view.push_back(std::string("minimized ") + (text == "yes" ? "1" : "0"));
  } else if (name == "MT" || name == "size?" || name == "level?") {
    step.view.push_back("flag " + name + "=" + (text == "yes" ? "1" : "0"));
  } else if (name == "cual?") {
    step.view.push_back(std::string("mode ") + (text == "l" ? "0" : text == "a" ? "1" : "2"));
  } else {
    const std::optional<std::int32_t> value = ParseIntegerText(text);
    if (!value) {
      fail(QuotedForMessage(text, '\'') + " is not a valid integer value");  // a text of any length, cut
      return step;
    }
    int field = 0;
    while (name != kNumberNames[field]) ++field;
    step.view.push_back("number " + name + "=" + DecimalText(ClampToRange(kLimits[field], *value)));
  }
  return step;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  std::vector<StoredValue> values = {
      {"NormDir", nullptr}, {"Minimized", "no"}, {"ratio", "0"}, {"level", "0"},  {"percent", "50"}, {"size", "64"},
      {"xlevel", "0"},      {"MT", "no"},        {"size?", "no"}, {"level?", "no"}, {"cual?", "a"}};
  MemoryRegistry registry;
  registry.AddKey(SettingsKey);
  for (StoredValue& v : values) {
    const std::uint8_t shape = in.Integral<std::uint8_t>();
    v.presence = static_cast<decltype(v.presence)>(shape & 3);
    v.readFails = (shape & 0x1C) == 0x1C;  // rare: one in eight
    v.writeFails = (shape & 0xE0) == 0xE0;
    v.bytes = in.RandomLengthString(64);
    // Mostly a string with its terminating zero, as a writer stores it.
    if (v.presence == StoredValue::String && (shape & 0x04) == 0) v.bytes.push_back('\0');
    if (v.presence != StoredValue::Absent) {
      const RegValueKind kind = v.presence == StoredValue::String         ? RegValueKind::String
                                : v.presence == StoredValue::ExpandString ? RegValueKind::ExpandString
                                                                          : RegValueKind::Other;
      registry.Put(SettingsKey, v.name, kind, v.bytes);
    }
    if (v.readFails) registry.failingReads.insert(v.name);
    if (v.writeFails) registry.failingWrites.insert(v.name);
  }
  FakeWindow window;
  const int emptyFolderAnswers = in.IntegralInRange(0, 3);
  window.emptyFolderAnswers = emptyFolderAnswers;

  LoadSettings(registry, window);

  // Every value in order; a failure is reported and, by the store's choice,
  // either ends the load there or lets the remaining values load.
  Log expectedView, expectedWrites, stoppedView, stoppedWrites;
  bool stopped = false;
  for (const StoredValue& v : values) {
    const Step step = Expect(v, emptyFolderAnswers);
    expectedView.insert(expectedView.end(), step.view.begin(), step.view.end());
    expectedWrites.insert(expectedWrites.end(), step.writes.begin(), step.writes.end());
    if (!stopped) {
      stoppedView.insert(stoppedView.end(), step.view.begin(), step.view.end());
      stoppedWrites.insert(stoppedWrites.end(), step.writes.begin(), step.writes.end());
      stopped = step.failed;
    }
  }
  Check((window.log == expectedView && registry.log == expectedWrites) ||
        (window.log == stoppedView && registry.log == stoppedWrites));
  Check(registry.openKeys == 0);
  for (int f = 0; f < 5; ++f) {
    const std::int32_t n = window.Number(static_cast<NumericOption>(f));
    Check(n >= kLimits[f].minimum && n <= kLimits[f].maximum);
  }

  // What the window now holds saves, and loads back into a fresh window, unchanged.
  MemoryRegistry again;
  again.PutString(SettingsKey, "NormDir", "C:\\n\\");
  again.PutString(SettingsKey, "Minimized", "no");
  SaveSettings(again, window);
  FakeWindow reloaded;
  LoadSettings(again, reloaded);
  Check(reloaded.text == window.text && reloaded.flags == window.flags && reloaded.mode == window.mode);
  return 0;
}
