#pragma once
// The few registry operations the settings store needs, so that its algorithms
// can run against the Windows registry and against an in-memory store alike.
// Paths name keys below one fixed root; they may start with a backslash.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quilbo {

enum class RegValueKind { String, ExpandString, Other };

struct RegValueInfo {
  RegValueKind kind;
  std::uint32_t size;  // bytes of data; 0 for an empty value
};

struct RegValueData {
  RegValueKind kind;
  std::string bytes;  // the raw data, terminating zero included if stored
};

// An open key. Closing happens in the destructor, so a key is released on
// every path out of an operation, errors included.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // Nothing when the value does not exist.
  virtual std::optional<RegValueInfo> QueryValue(std::string_view name) = 0;
  // Nothing when the read fails.
  virtual std::optional<RegValueData> ReadValue(std::string_view name) = 0;
  // Writes a string value, terminating zero included. False on failure.
  virtual bool WriteString(std::string_view name, std::string_view text) = 0;

  // Nothing when the key cannot be queried.
  virtual std::optional<std::uint32_t> SubkeyCount() = 0;
  // The name of subkey `index` (0-based), nothing when it cannot be read.
  virtual std::optional<std::string> SubkeyName(std::uint32_t index) = 0;
};

using RegistryKeyPtr = std::unique_ptr<RegistryKey>;

class Registry {
 public:
  virtual ~Registry() = default;

  // Full access is asked for; null when the key is missing or refused.
  virtual RegistryKeyPtr OpenKey(std::string_view path) = 0;
  // Opens the key, creating it and any missing parents; null on failure.
  virtual RegistryKeyPtr CreateKey(std::string_view path) = 0;
  // Deletes one key that has no subkeys. False on failure.
  virtual bool DeleteKey(std::string_view path) = 0;
  // Whether the key exists and may be read, whatever the right to write it.
  virtual bool KeyExists(std::string_view path) = 0;
};

}  // namespace quilbo
