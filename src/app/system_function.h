#pragma once
// Functions of the system libraries that only a user's action needs (the file
// dialog, the folder browser, starting the tool). Their DLLs, with the many
// they pull in, are loaded at the first call instead of at every start-up, and
// then stay loaded.
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

}  // namespace quilbo
