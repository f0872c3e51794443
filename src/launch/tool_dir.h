#pragma once
// The tool directory in use: empty, or a directory path ending in a backslash.
// Set by the settings load, read by the launcher.
#include <string>

namespace quilbo {

extern std::string ToolDir;

}  // namespace quilbo
