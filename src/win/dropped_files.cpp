#include "win/dropped_files.h"

#include <memory>
#include <type_traits>

#include "win/library.h"

namespace quilbo {
namespace {

using DragQueryFileFunction = UINT(WINAPI*)(HDROP, UINT, LPSTR, UINT);
using DragFinishFunction = void(WINAPI*)(HDROP);

UINT QueryFile(HDROP drop, UINT index, LPSTR buffer, UINT size) {
  static const auto query = SystemFunction<DragQueryFileFunction>("shell32.dll", "DragQueryFileA");
  return query(drop, index, buffer, size);
}

}  // namespace

TDroppedFiles::~TDroppedFiles() {
  try {
    SystemFunction<DragFinishFunction>("shell32.dll", "DragFinish")(drop_);
  } catch (...) {
    // Without shell32 the drop could not have been read either; nothing to free it with.
  }
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
  };
  WIN32_FIND_DATAA found{};
  std::vector<std::string> names;
  const HANDLE first = FindFirstFileA((folder + "\\*").c_str(), &found);
  // A folder that cannot be opened gives no handle to close.
  if (first == INVALID_HANDLE_VALUE) return names;
  const std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser> find(first);
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(found.cFileName);
  } while (FindNextFileA(find.get(), &found));
  return names;
}

unsigned TDroppedFiles::Count() const { return QueryFile(drop_, 0xFFFFFFFF, nullptr, 0); }

std::string TDroppedFiles::Name(unsigned index) const {
  const UINT length = QueryFile(drop_, index, nullptr, 0);
  std::string name(static_cast<std::size_t>(length) + 1, '\0');
  name.resize(QueryFile(drop_, index, name.data(), length + 1));
  return name;
}

}  // namespace quilbo
