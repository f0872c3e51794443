#pragma once
// Where a result may go.
#include <string>

namespace normalize {

// The file the result is to replace, where a symbolic link leads. Throws
// Failure (output) unless replacing it loses nothing the user has set up: it
// must be a regular file, not read-only, with no other hard links.
std::string ReplaceableTarget(const std::string& path);

}  // namespace normalize
