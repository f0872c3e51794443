#include "settings/win_registry.h"

#include <string>
#include <vector>

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
  explicit WinKey(HKEY key) : key_(key) {}
  WinKey(const WinKey&) = delete;
  WinKey& operator=(const WinKey&) = delete;
  ~WinKey() override { RegCloseKey(key_); }

  std::optional<RegValueInfo> QueryValue(std::string_view name) override {
    const std::string valueName(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return RegValueInfo{KindOf(type), size};
  }

  std::optional<RegValueData> ReadValue(std::string_view name) override {
    const std::optional<RegValueInfo> info = QueryValue(name);
    if (!info) return std::nullopt;
    const std::string valueName(name);
    DWORD type = 0;
    DWORD size = info->size;
    std::vector<BYTE> data(size + 1);
    // RegQueryValueExA (not RegGetValue) leaves an expandable string as stored.
    if (RegQueryValueExA(key_, valueName.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return RegValueData{KindOf(type), std::string(reinterpret_cast<const char*>(data.data()), size)};
  }

  bool WriteString(std::string_view name, std::string_view text) override {
    const std::string valueName(name);
    const std::string data(text);  // c_str() brings the terminating zero, which is stored too
    return RegSetValueExA(key_, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
  }

  std::optional<std::uint32_t> SubkeyCount() override {
    DWORD count = 0;
    if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return count;
  }

  std::optional<std::string> SubkeyName(std::uint32_t index) override {
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<char> name(longest + 1);
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExA(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::string(name.data(), length);
  }

 private:
  HKEY key_;
};

}  // namespace

RegistryKeyPtr WinRegistry::OpenKey(std::string_view path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root_, RelativePath(path).c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<WinKey>(key);
}

RegistryKeyPtr WinRegistry::CreateKey(std::string_view path) {
  HKEY key = nullptr;
  // Creates the missing parents too.
  if (RegCreateKeyExA(root_, RelativePath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<WinKey>(key);
}

bool WinRegistry::DeleteKey(std::string_view path) {
  return RegDeleteKeyA(root_, RelativePath(path).c_str()) == ERROR_SUCCESS;
}

}  // namespace quilbo
