#pragma once
// Libraries loaded when they are first needed rather than at every start-up:
// a system function looked up by name (its DLL, with the many it pulls in,
// then stays loaded), and a DLL held for as long as an object lives.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace quilbo {

// The function `name` of `library`; throws when either cannot be found.
template <typename Function>
Function SystemFunction(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (!module) module = LoadLibraryA(library);
  if (!module) throw std::runtime_error(std::string("Cannot load ") + library);
  const FARPROC address = GetProcAddress(module, name);
  if (!address) throw std::runtime_error(std::string("Cannot find ") + name + " in " + library);
  // Through void*: a cast between unrelated function pointer types draws warnings.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// A DLL loaded for as long as its owner lives.
class TLibrary {
 public:
  TLibrary() = default;
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  ~TLibrary() {
    if (module_) FreeLibrary(module_);
  }
  // Throws when the DLL cannot be loaded. Loaded once: a retry after a later
  // step failed takes no second reference that would never be freed.
  void Load(const char* name) {
    if (module_) return;
    module_ = LoadLibraryA(name);
    if (!module_) throw std::runtime_error(std::string("Cannot load ") + name);
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace quilbo
