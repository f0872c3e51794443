#pragma once
// Starts the tool through the shell and forgets it.
#include <windows.h>

#include <cstddef>
#include <string>

namespace quilbo {

// Opens ToolDir + "normalize" with `parameters`, in ToolDir, normal or
// minimised. Throws, with the path tried and the reason, when the path or the
// command line is longer than Windows takes, or the shell cannot start it.
void LaunchTool(HWND owner, const std::string& parameters, bool minimized);

// The length of `text` in the characters of the active code page.
std::size_t SystemCharacters(const std::string& text);

}  // namespace quilbo
