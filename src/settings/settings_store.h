#pragma once
// The settings store: which string values are kept under the settings key, how
// they are encoded, and the operations that load, save and remove them. The
// window is reached only through SettingsView, the registry only through
// Registry, so all of it runs natively against an in-memory store.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "options/option_set.h"
#include "settings/registry.h"

namespace quilbo {

inline constexpr char SettingsKey[] = "\\software\\Quilbo\\Brackenhollow";
inline constexpr char VendorKey[] = "\\software\\Quilbo";

inline constexpr char SelectNormalizeDirectoryTitle[] = "Select Normalize Directory";
inline constexpr int ChooseFolderFlags = 1;  // BIF_RETURNONLYFSDIRS

// A stored value that cannot be read or written; the message is shown as is.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class NumericOption { Ratio, Level, Percent, Size, XLevel };
enum class FlagOption { MultiTasking, BufferSize, AbortLevel };

enum class StoredKind { RunMinimized, Number, Flag, Mode };

// A value kept under the settings key besides "NormDir".
struct StoredOption {
  const char* name;
  const char* defaultText;  // written when the value is missing at load
  StoredKind kind;
  NumericOption number;
  FlagOption flag;
};

// The stored values in the order the load reads them.
std::span<const StoredOption> StoredOptions();
// The name a numeric field's or a check box's value is stored under.
const char* StoredName(NumericOption field);
const char* StoredName(FlagOption box);

// What the store needs of the main window. Setters behave as the controls' own
// setters do: a numeric field clamps, a check box or radio button that changes
// runs its click handler.
class SettingsView {
 public:
  virtual ~SettingsView() = default;

  virtual void SetNumber(NumericOption field, std::int64_t value) = 0;  // clamped by the field
  virtual std::int32_t Number(NumericOption field) const = 0;           // the field's read rule

  virtual void SetFlag(FlagOption box, bool ticked) = 0;
  virtual bool Flag(FlagOption box) const = 0;

  virtual void SelectMode(TAmplifyMode mode) = 0;
  virtual bool ModeSelected(TAmplifyMode mode) const = 0;

  virtual void SetRunMinimized(bool checked) = 0;  // the menu check mark only
  virtual bool RunMinimized() const = 0;

  virtual void SetToolDir(const std::string& dir) = 0;
  // The folder browser; empty when the user cancels.
  virtual std::string ChooseFolder(const std::string& title, int flags) = 0;
  // A close request came while the folder browser was open: the first-run
  // prompt stops asking.
  virtual bool CloseRequested() const { return false; }
  // The length of `path` in the system's characters (bytes, unless the code
  // page has characters of several bytes).
  virtual std::size_t PathCharacters(const std::string& path) const { return path.size(); }

  // A stored value that failed to load; loading goes on after it.
  virtual void ReportLoadError(const std::string& message) = 0;
  // The settings cannot be stored (where and why): said once per run.
  virtual void ReportNotStored(const std::string& message) const = 0;
};

// Reads every stored value into the window, writing defaults for missing ones
// and asking for the tool directory on a first run. A value that fails is
// reported through the view and skipped, so one bad value neither hides the
// good ones nor lets the next save overwrite them with the window's defaults.
// A key that cannot be written is not read either; the view is told.
void LoadSettings(Registry& registry, SettingsView& view);

// Writes the option values from the window. Throws SettingsError at the first
// value that cannot be written; nothing when the key does not exist, and the
// view is told when it exists but cannot be written.
void SaveSettings(Registry& registry, const SettingsView& view);

// "&Run Minimized": inverts the check mark and remembers it when the key opens.
void ToggleRunMinimized(Registry& registry, SettingsView& view);

// Chooses the tool directory again; on a choice makes it the directory in use
// at once and stores it, or tells the view that it cannot. Returns whether a
// folder was chosen.
bool ReselectToolDir(Registry& registry, SettingsView& view);

// Deletes the settings key with everything below it, then the vendor key when
// nothing else is left under it. When the settings key survives, returns the
// message that says so (its values are then not to be saved over).
std::optional<std::string> RemoveSettings(Registry& registry);

}  // namespace quilbo
