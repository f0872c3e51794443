#pragma once
// Text from outside (file and folder names) made fit for a terminal.
#include <cstddef>
#include <string>

namespace normalize {

// `text` with every control character (C0, DEL, the C1 range) and every byte
// that is not part of a UTF-8 character written as \xNN, so that a name
// cannot move the cursor, recolour the screen or retitle the window.
std::string TerminalSafe(const std::string& text);

// The columns UTF-8 `text` takes on a terminal: wide East Asian characters
// and emoji two, others one (erring wide, so that a line never wraps).
std::size_t Columns(const std::string& text);

// `text` (UTF-8) in at most `columns`, cut on a character boundary and then
// ending in "..." when it is longer.
std::string CutToColumns(const std::string& text, std::size_t columns);

}  // namespace normalize
