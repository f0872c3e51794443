#include "win/registry_key.h"

#include <vector>

namespace quilbo {

TRegistryKey TRegistryKey::Open(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return {};
  return TRegistryKey(key);
}

TRegistryKey TRegistryKey::Create(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return {};
  return TRegistryKey(key);
}

bool TRegistryKey::Delete(HKEY root, const std::string& path) {
  return RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS;
}

std::optional<std::pair<DWORD, DWORD>> TRegistryKey::QueryValue(const std::string& name) const {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::pair{type, size};
}

std::optional<TRegistryKey::Value> TRegistryKey::ReadValue(const std::string& name) const {
  const auto info = QueryValue(name);
  if (!info) return std::nullopt;
  DWORD type = 0;
  DWORD size = info->second;
  std::vector<BYTE> data(size + 1);
  // RegQueryValueExA (not RegGetValue) leaves an expandable string as stored.
  if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  return Value{type, std::string(reinterpret_cast<const char*>(data.data()), size)};
}

bool TRegistryKey::WriteString(const std::string& name, const std::string& text) {
  return RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

std::optional<DWORD> TRegistryKey::SubkeyCount() const {
  DWORD count = 0;
  if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  return count;
}

std::optional<std::string> TRegistryKey::SubkeyName(DWORD index) const {
  DWORD longest = 0;
  if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<char> name(longest + 1);
  DWORD length = static_cast<DWORD>(name.size());
  if (RegEnumKeyExA(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  return std::string(name.data(), length);
}

}  // namespace quilbo
