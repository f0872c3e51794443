#include "settings/win_registry.h"

#include <string>

#include "win/registry_key.h"

namespace quilbo {
namespace {

// The store names its keys absolutely ("\software\..."), but the registry
// functions want a path relative to the root key and fail with
// ERROR_BAD_PATHNAME when it starts with a backslash.
std::string RelativePath(std::string_view path) {
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  return std::string(path);
}

RegValueKind KindOf(DWORD type) {
  switch (type) {
    case REG_SZ: return RegValueKind::String;
    case REG_EXPAND_SZ: return RegValueKind::ExpandString;
    default: return RegValueKind::Other;
  }
}

class WinKey : public RegistryKey {
 public:
  explicit WinKey(TRegistryKey key) : key_(std::move(key)) {}

  std::optional<RegValueInfo> QueryValue(std::string_view name) override {
    const auto info = key_.QueryValue(std::string(name));
    if (!info) return std::nullopt;
    return RegValueInfo{KindOf(info->first), info->second};
  }

  std::optional<RegValueData> ReadValue(std::string_view name) override {
    auto value = key_.ReadValue(std::string(name));
    if (!value) return std::nullopt;
    return RegValueData{KindOf(value->type), std::move(value->data)};
  }

  bool WriteString(std::string_view name, std::string_view text) override {
    return key_.WriteString(std::string(name), std::string(text));
  }

  std::optional<std::uint32_t> SubkeyCount() override { return key_.SubkeyCount(); }
  std::optional<std::string> SubkeyName(std::uint32_t index) override { return key_.SubkeyName(index); }

 private:
  TRegistryKey key_;
};

RegistryKeyPtr Opened(TRegistryKey key) {
  if (!key.IsOpen()) return nullptr;
  return std::make_unique<WinKey>(std::move(key));
}

}  // namespace

RegistryKeyPtr WinRegistry::OpenKey(std::string_view path) {
  return Opened(TRegistryKey::Open(root_, RelativePath(path), KEY_ALL_ACCESS));
}

RegistryKeyPtr WinRegistry::CreateKey(std::string_view path) {
  return Opened(TRegistryKey::Create(root_, RelativePath(path), KEY_ALL_ACCESS));
}

bool WinRegistry::DeleteKey(std::string_view path) { return TRegistryKey::Delete(root_, RelativePath(path)); }

bool WinRegistry::KeyExists(std::string_view path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root_, RelativePath(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace quilbo
