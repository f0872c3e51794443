#pragma once
// The settings store's registry on Windows: keys below HKEY_LOCAL_MACHINE,
// always opened with full access.
#include <windows.h>

#include "settings/registry.h"

namespace quilbo {

class WinRegistry : public Registry {
 public:
  explicit WinRegistry(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}

  RegistryKeyPtr OpenKey(std::string_view path) override;
  RegistryKeyPtr CreateKey(std::string_view path) override;
  bool DeleteKey(std::string_view path) override;
  bool KeyExists(std::string_view path) override;

 private:
  HKEY root_;
};

}  // namespace quilbo
