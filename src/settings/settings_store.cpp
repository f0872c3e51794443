#include "settings/settings_store.h"

#include <string_view>

#include "launch/tool_dir.h"
#include "options/integer_text.h"
#include "options/message_quote.h"

namespace quilbo {
namespace {

// The load order. The defaults go to the store only; the window keeps its own
// initial state, which differs for "percent" and "cual?".
constexpr StoredOption kLoadOrder[] = {
    {"Minimized", "no", StoredKind::RunMinimized, {}, {}},
    {"ratio", "0", StoredKind::Number, NumericOption::Ratio, {}},
    {"level", "0", StoredKind::Number, NumericOption::Level, {}},
    {"percent", "50", StoredKind::Number, NumericOption::Percent, {}},
    {"size", "64", StoredKind::Number, NumericOption::Size, {}},
    {"xlevel", "0", StoredKind::Number, NumericOption::XLevel, {}},
    {"MT", "no", StoredKind::Flag, {}, FlagOption::MultiTasking},
    {"size?", "no", StoredKind::Flag, {}, FlagOption::BufferSize},
    {"level?", "no", StoredKind::Flag, {}, FlagOption::AbortLevel},
    {"cual?", "a", StoredKind::Mode, {}, {}},
};

// The order the close writes them in.
constexpr const char* kSaveOrder[] = {"ratio", "level", "percent", "size",  "xlevel",
                                      "MT",    "cual?", "size?",   "level?"};

constexpr char kNormDir[] = "NormDir";
constexpr char kRootName[] = "HKEY_LOCAL_MACHINE";
constexpr char kMinimized[] = "Minimized";

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

const char* YesNo(bool on) { return on ? "yes" : "no"; }

// Empty data is empty text whatever its type; otherwise only strings are
// accepted (an expandable one unexpanded) and the text ends at its first zero.
std::string ReadText(RegistryKey& key, const char* name, const RegValueInfo& info) {
  if (info.size == 0) return {};
  std::optional<RegValueData> data = key.ReadValue(name);
  if (!data) throw SettingsError("Failed to get data for " + Quoted(name));
  if (data->kind == RegValueKind::Other) throw SettingsError("Invalid data type for " + Quoted(name));
  std::string text = std::move(data->bytes);
  if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

void WriteText(RegistryKey& key, const char* name, std::string_view text) {
  if (!key.WriteString(name, text)) throw SettingsError("Failed to set data for " + Quoted(name));
}

// Flags are on only for exactly "yes"; "Yes" or "yes " are off.
bool DecodeFlag(std::string_view text) { return text == "yes"; }

TAmplifyMode DecodeMode(std::string_view text) {
  if (text == "l") return TAmplifyMode::amRatio;
  if (text == "a") return TAmplifyMode::amLevel;
  return TAmplifyMode::amPercent;
}

void Apply(SettingsView& view, const StoredOption& option, const std::string& text) {
  switch (option.kind) {
    case StoredKind::RunMinimized:
      view.SetRunMinimized(DecodeFlag(text));
      break;
    case StoredKind::Number: {
      const std::optional<std::int32_t> value = ParseIntegerText(text);
      if (!value) throw SettingsError(QuotedForMessage(text, '\'') + " is not a valid integer value");
      view.SetNumber(option.number, *value);
      break;
    }
    case StoredKind::Flag:
      view.SetFlag(option.flag, DecodeFlag(text));
      break;
    case StoredKind::Mode:
      view.SelectMode(DecodeMode(text));
      break;
  }
}

const StoredOption& Stored(std::string_view name) {
  for (const StoredOption& option : kLoadOrder)
    if (option.name == name) return option;
  throw std::logic_error("No stored value " + std::string(name));
}

std::string Encoded(const SettingsView& view, const StoredOption& option) {
  switch (option.kind) {
    case StoredKind::RunMinimized:
      return YesNo(view.RunMinimized());
    case StoredKind::Number:
      return DecimalText(view.Number(option.number));
    case StoredKind::Flag:
      return YesNo(view.Flag(option.flag));
    case StoredKind::Mode:
      break;
  }
  return view.ModeSelected(TAmplifyMode::amRatio)   ? "l"
         : view.ModeSelected(TAmplifyMode::amLevel) ? "a"
                                                    : "m";
}

// Empty only when the program is asked to close meanwhile.
std::string ChooseToolDirUntilChosen(SettingsView& view) {
  std::string dir;
  // Cancelling only brings the browser back: a first run needs a directory.
  while (dir.empty() && !view.CloseRequested())
    dir = view.ChooseFolder(SelectNormalizeDirectoryTitle, ChooseFolderFlags);
  return dir;
}

void LoadToolDir(RegistryKey& key, SettingsView& view) {
  if (const std::optional<RegValueInfo> info = key.QueryValue(kNormDir)) {
    const std::string dir = ReadText(key, kNormDir, *info);
    // Kept as stored even when unusable, so that "Go!" refuses it openly
    // rather than starting whatever "normalize" the shell finds by name.
    view.SetToolDir(dir);
    if (const auto problem = ToolDirProblem(dir, view.PathCharacters(dir + "normalize")))
      throw SettingsError(*problem);
    return;
  }
  const std::string chosen = ChooseToolDirUntilChosen(view);
  // Closing before a folder was confirmed: nothing is stored, so the next
  // start asks again.
  if (chosen.empty()) return;
  // A drive root (C:\) gets a second backslash; the launcher copes with that.
  const std::string dir = chosen + "\\";
  // Used in this run even if it cannot be stored.
  view.SetToolDir(dir);
  WriteText(key, kNormDir, dir);
}

void LoadOption(RegistryKey& key, SettingsView& view, const StoredOption& option) {
  if (const std::optional<RegValueInfo> info = key.QueryValue(option.name)) {
    Apply(view, option, ReadText(key, option.name, *info));
  } else {
    WriteText(key, option.name, option.defaultText);
  }
}

// One failing value must not cost the others: it is reported and loading goes
// on, so its control keeps its state and the rest still load.
template <typename Step>
void LoadStep(SettingsView& view, Step step) {
  try {
    step();
  } catch (const SettingsError& error) {
    view.ReportLoadError(error.what());
  }
}

// Where the settings go, and why they cannot, once the key refused to open
// for writing.
void ReportNotStored(Registry& registry, const SettingsView& view) {
  const std::string why = registry.KeyExists(SettingsKey) ? "it can be read but not written"
                                                          : "it cannot be created";
  view.ReportNotStored("The settings cannot be stored in the registry key " + std::string(kRootName) +
                       SettingsKey + ": " + why + ". Changes made in this run last until the program ends.");
}

void DeleteKeyTree(Registry& registry, const std::string& path) {
  if (RegistryKeyPtr key = registry.OpenKey(path)) {
    // From the last subkey to the first, so the indices of those not yet
    // visited stay valid while the later ones disappear.
    for (std::uint32_t index = key->SubkeyCount().value_or(0); index-- > 0;) {
      if (const std::optional<std::string> name = key->SubkeyName(index)) {
        DeleteKeyTree(registry, path + "\\" + *name);
      }
    }
  }
  registry.DeleteKey(path);
}

}  // namespace

std::span<const StoredOption> StoredOptions() { return kLoadOrder; }

const char* StoredName(NumericOption field) {
  for (const StoredOption& option : kLoadOrder)
    if (option.kind == StoredKind::Number && option.number == field) return option.name;
  return nullptr;
}

const char* StoredName(FlagOption box) {
  for (const StoredOption& option : kLoadOrder)
    if (option.kind == StoredKind::Flag && option.flag == box) return option.name;
  return nullptr;
}

void LoadSettings(Registry& registry, SettingsView& view) {
  // Without write access nothing is read either: the window keeps its design
  // state and nobody is asked for the directory.
  const RegistryKeyPtr key = registry.CreateKey(SettingsKey);
  if (!key) {
    ReportNotStored(registry, view);
    return;
  }
  LoadStep(view, [&] { LoadToolDir(*key, view); });
  for (const StoredOption& option : kLoadOrder) {
    LoadStep(view, [&] { LoadOption(*key, view, option); });
  }
}

void SaveSettings(Registry& registry, const SettingsView& view) {
  const RegistryKeyPtr key = registry.OpenKey(SettingsKey);
  // A key that is gone (the settings were removed) takes nothing, silently.
  if (!key) {
    if (registry.KeyExists(SettingsKey)) ReportNotStored(registry, view);
    return;
  }
  for (const char* name : kSaveOrder) {
    const StoredOption& option = Stored(name);
    WriteText(*key, name, Encoded(view, option));
  }
}

void ToggleRunMinimized(Registry& registry, SettingsView& view) {
  view.SetRunMinimized(!view.RunMinimized());
  if (const RegistryKeyPtr key = registry.OpenKey(SettingsKey)) {
    WriteText(*key, kMinimized, YesNo(view.RunMinimized()));
  } else if (registry.KeyExists(SettingsKey)) {
    ReportNotStored(registry, view);
  }
}

bool ReselectToolDir(Registry& registry, SettingsView& view) {
  const std::string chosen = view.ChooseFolder(SelectNormalizeDirectoryTitle, ChooseFolderFlags);
  if (chosen.empty()) return false;
  const std::string dir = chosen + "\\";
  // The user chose it to launch from it: it applies at once, not only from
  // the next start, and for this run when it cannot be stored.
  view.SetToolDir(dir);
  if (const RegistryKeyPtr key = registry.CreateKey(SettingsKey)) {
    WriteText(*key, kNormDir, dir);
  } else {
    ReportNotStored(registry, view);
  }
  return true;
}

std::optional<std::string> RemoveSettings(Registry& registry) {
  DeleteKeyTree(registry, SettingsKey);
  if (registry.KeyExists(SettingsKey)) {
    return "The settings could not be removed: the registry key " + std::string(kRootName) + SettingsKey +
           " is still there. The program closes without saving over it.";
  }
  bool vendorEmpty = false;
  if (const RegistryKeyPtr vendor = registry.OpenKey(VendorKey)) {
    vendorEmpty = vendor->SubkeyCount() == std::optional<std::uint32_t>(0);
  }
  if (vendorEmpty) registry.DeleteKey(VendorKey);
  return std::nullopt;
}

}  // namespace quilbo
