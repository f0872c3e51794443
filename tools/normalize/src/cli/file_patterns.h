#pragma once
// Input names with wildcards. POSIX shells expand them before the tool
// starts; the Windows shell does not, so there the tool does it.
#include <string>
#include <vector>

namespace normalize {

// The files `pattern` names, sorted: on Windows, a name with * or ? matches
// the regular files of its folder; anything else stands for itself.
// Empty when a pattern matches nothing.
std::vector<std::string> ExpandFilePattern(const std::string& pattern);

}  // namespace normalize
