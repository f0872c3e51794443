// The program's settings key in the registry.
#include "harness/harness.h"
#include "harness/internal.h"

#include <sddl.h>

#include <cstring>
#include <stdexcept>

namespace e2e {

using namespace detail;

namespace reg {
namespace {
constexpr REGSAM kView = KEY_WOW64_32KEY;

bool Open(const char* path, REGSAM access, Key& key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access | kView, &key.h) == ERROR_SUCCESS;
}

void SetDacl(HKEY key, const char* sddl, SECURITY_INFORMATION extra) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    throw std::runtime_error("bad security descriptor");
  }
  const LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION | extra, sd);
  LocalFree(sd);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("RegSetKeySecurity failed: " + std::to_string(rc));
}
}  // namespace

bool SettingsKeyExists() {
  Key k;
  return Open(kSettingsKey, KEY_READ, k);
}

bool VendorKeyExists() {
  Key k;
  return Open(kVendorKey, KEY_READ, k);
}

void DeleteSettings() {
  {
    Key k;
    if (Open(kSettingsKey, WRITE_DAC, k)) {
      SetDacl(k.h, "D:(A;;KA;;;WD)", UNPROTECTED_DACL_SECURITY_INFORMATION);
    }
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey);  // 32-bit process: 32-bit view
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, kView, 0);
  Key vendor;
  if (Open(kVendorKey, KEY_READ, vendor)) {
    DWORD subkeys = 0;
    RegQueryInfoKeyA(vendor.h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    if (subkeys == 0) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, kView, 0);
  }
  if (SettingsKeyExists()) throw std::runtime_error("cannot delete the settings key");
}

std::optional<std::string> Read(const std::string& name) {
  Key k;
  if (!Open(kSettingsKey, KEY_READ, k)) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k.h, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string data(size + 1, '\0');
  if (RegQueryValueExA(k.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(std::strlen(data.c_str()));
  return data;
}

DWORD Type(const std::string& name) {
  Key k;
  DWORD type = REG_NONE;
  if (Open(kSettingsKey, KEY_READ, k) &&
      RegQueryValueExA(k.h, name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS) {
    return type;
  }
  return REG_NONE;
}

std::map<std::string, std::string> ReadAll() {
  std::map<std::string, std::string> all;
  Key k;
  if (!Open(kSettingsKey, KEY_READ, k)) return all;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name, type = 0;
    if (RegEnumValueA(k.h, i, name, &nameSize, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (type == REG_SZ || type == REG_EXPAND_SZ) all[name] = Read(name).value_or("");
  }
  return all;
}

void WriteRaw(const std::string& name, DWORD type, const std::string& bytes) {
  Key k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &k.h,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the settings key");
  }
  if (RegSetValueExA(k.h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write " + name);
  }
}

void Write(const std::string& name, const std::string& value) {
  WriteRaw(name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void Remove(const std::string& name) {
  Key k;
  if (Open(kSettingsKey, KEY_SET_VALUE, k)) RegDeleteValueA(k.h, name.c_str());
}

void DenyWrite() {
  DeleteSettings();
  Key k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &k.h,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the settings key");
  }
  SetDacl(k.h, "D:P(A;;KR;;;WD)", PROTECTED_DACL_SECURITY_INFORMATION);
}
}  // namespace reg

}  // namespace e2e
