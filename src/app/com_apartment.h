#pragma once
// COM in an apartment on this thread for as long as the object lives; an
// initialisation made earlier by someone else is kept as it is.
#include <objbase.h>

namespace quilbo {

class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }

 private:
  bool initialised_;
};

}  // namespace quilbo
