#pragma once
// COM in an apartment on this thread for as long as the object lives, around
// a call into the shell (the folder browser, the file dialog, starting the
// tool); an initialisation made earlier by someone else is kept as it is.
// ole32 is loaded at the first such call, not at start-up.
#include <objbase.h>

#include "win/library.h"

namespace quilbo {

class ComApartment {
 public:
  ComApartment() {
    static const auto initialize = SystemFunction<decltype(&CoInitializeEx)>("ole32.dll", "CoInitializeEx");
    static const auto uninitialize = SystemFunction<decltype(&CoUninitialize)>("ole32.dll", "CoUninitialize");
    uninitialize_ = uninitialize;
    initialised_ = SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED));
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) uninitialize_();
  }

 private:
  decltype(&CoUninitialize) uninitialize_ = nullptr;
  bool initialised_ = false;
};

}  // namespace quilbo
