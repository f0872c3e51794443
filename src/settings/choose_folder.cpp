#include "settings/choose_folder.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>

#include "app/com_apartment.h"
#include "app/system_function.h"

namespace quilbo {
namespace {

// The shell's item list, freed with the COM allocator it came from.
struct ItemListFree {
  decltype(&CoTaskMemFree) free;
  void operator()(ITEMIDLIST* item) const { free(item); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

}  // namespace

std::string ChooseFolder(HWND owner, const std::string& title, UINT flags) {
  static const auto browseForFolder =
      SystemFunction<decltype(&SHBrowseForFolderA)>("shell32.dll", "SHBrowseForFolderA");
  static const auto pathFromItem =
      SystemFunction<decltype(&SHGetPathFromIDListA)>("shell32.dll", "SHGetPathFromIDListA");
  static const auto taskMemFree = SystemFunction<decltype(&CoTaskMemFree)>("ole32.dll", "CoTaskMemFree");
  const ComApartment com;
  char displayName[MAX_PATH] = {};
  BROWSEINFOA request = {};
  request.hwndOwner = owner;
  request.pszDisplayName = displayName;
  request.lpszTitle = title.c_str();
  request.ulFlags = flags;
  const ItemList item(browseForFolder(&request), ItemListFree{taskMemFree});
  if (!item) return {};
  char path[MAX_PATH + 1] = {};
  if (!pathFromItem(item.get(), path)) return {};
  return path;  // up to the first zero
}

}  // namespace quilbo
