#include "cli/file_patterns.h"

namespace normalize {

// The shell has expanded every pattern; a '*' left is part of a real name.
std::vector<std::string> ExpandFilePattern(const std::string& pattern) { return {pattern}; }

}  // namespace normalize
