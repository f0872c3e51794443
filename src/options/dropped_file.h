#pragma once
// Whether a file or folder dropped on the main window may become the input,
// and the error that says why not. A folder holding WAV files is taken: the
// tool works on every WAV file in it. No <windows.h>.
#include <cstddef>
#include <string>
#include <string_view>

namespace quilbo {

// The longest path the input file dialog returns: 260 characters of up to
// four bytes each in the UTF-8 code page.
inline constexpr std::size_t kMaxInputPathBytes = 4 * 260;

enum class TDropRefusal { None, Folder /* with no WAV file in it */, NotWave, TooLong };

// Whether the name ends in ".wav" in any letter case.
bool EndsInWav(std::string_view path);

// A path of at most kMaxInputPathBytes bytes: a file whose name ends in ".wav"
// in any letter case, or a folder that holds such a file (`folderHasWav`).
TDropRefusal JudgeDroppedFile(std::string_view path, bool isFolder, bool folderHasWav = false);

// The error text for a refusal (empty for None), quoting the path as every
// message does; `pathCharacters` is its length as the system counts it.
std::string DropRefusalMessage(TDropRefusal refusal, std::string_view path, std::size_t pathCharacters);

}  // namespace quilbo
