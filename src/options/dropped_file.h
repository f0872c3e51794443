#pragma once
// Whether a file dropped on the main window may become the input file, and the
// error that says why not. No <windows.h>.
#include <cstddef>
#include <string>
#include <string_view>

namespace quilbo {

// The longest path the input file dialog returns: 260 characters of up to
// four bytes each in the UTF-8 code page.
inline constexpr std::size_t kMaxInputPathBytes = 4 * 260;

enum class TDropRefusal { None, Folder, NotWave, TooLong };

// A path of at most kMaxInputPathBytes bytes whose name ends in ".wav" in any
// letter case, and not a folder.
TDropRefusal JudgeDroppedFile(std::string_view path, bool isFolder);

// The error text for a refusal (empty for None), quoting the path as every
// message does; `pathCharacters` is its length as the system counts it.
std::string DropRefusalMessage(TDropRefusal refusal, std::string_view path, std::size_t pathCharacters);

}  // namespace quilbo
