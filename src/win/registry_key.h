#pragma once
// A registry key, closed when this goes; the few operations on it a program
// needs, each reporting failure as an empty result.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace quilbo {

class TRegistryKey {
 public:
  struct Value {
    DWORD type;
    std::string data;  // the raw bytes, a string's terminating zero included if stored
  };

  // Not open when the key is missing or refused. `path` is below `root`.
  static TRegistryKey Open(HKEY root, const std::string& path, REGSAM access);
  // Opens the key, creating it and any missing parents.
  static TRegistryKey Create(HKEY root, const std::string& path, REGSAM access);
  // Deletes a key that has no subkeys.
  static bool Delete(HKEY root, const std::string& path);

  TRegistryKey() = default;
  TRegistryKey(TRegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  TRegistryKey& operator=(TRegistryKey&& other) noexcept {
    std::swap(key_, other.key_);
    return *this;
  }
  ~TRegistryKey() {
    if (key_) RegCloseKey(key_);
  }

  bool IsOpen() const { return key_ != nullptr; }

  // The value's type and size in bytes; nothing when it does not exist.
  std::optional<std::pair<DWORD, DWORD>> QueryValue(const std::string& name) const;
  // The value as stored (an expandable string unexpanded).
  std::optional<Value> ReadValue(const std::string& name) const;
  // Writes a REG_SZ value, terminating zero included.
  bool WriteString(const std::string& name, const std::string& text);

  std::optional<DWORD> SubkeyCount() const;
  std::optional<std::string> SubkeyName(DWORD index) const;

 private:
  explicit TRegistryKey(HKEY key) : key_(key) {}

  HKEY key_ = nullptr;
};

}  // namespace quilbo
