#include "settings/choose_folder.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>

namespace quilbo {
namespace {

struct ItemListFree {
  void operator()(ITEMIDLIST* item) const { CoTaskMemFree(item); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

// The browser needs COM in an apartment on this thread; an earlier
// initialisation by someone else is kept as it is.
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

}  // namespace

std::string ChooseFolder(HWND owner, const std::string& title, UINT flags) {
  const ComApartment com;
  char displayName[MAX_PATH] = {};
  BROWSEINFOA request = {};
  request.hwndOwner = owner;
  request.pszDisplayName = displayName;
  request.lpszTitle = title.c_str();
  request.ulFlags = flags;
  const ItemList item(SHBrowseForFolderA(&request));
  if (!item) return {};
  char path[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListA(item.get(), path)) return {};
  return path;  // up to the first zero
}

}  // namespace quilbo
