#pragma once
// Starts the tool through the shell and forgets it.
#include <windows.h>

#include <string>

namespace quilbo {

// Opens ToolDir + "normalize" with `parameters`, in ToolDir, normal or
// minimised. Nothing is checked before or after.
void LaunchTool(HWND owner, const std::string& parameters, bool minimized);

}  // namespace quilbo
