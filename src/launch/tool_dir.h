#pragma once
// The tool directory in use: empty, or a directory path ending in a backslash.
// Set by the settings load, read by the launcher.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quilbo {

extern std::string ToolDir;

// Why a stored tool directory cannot serve: it does not end in a backslash
// (the tool's name is put straight after it), or `toolPathCharacters`, the
// length of the directory followed by "normalize" in the system's characters,
// is more than the shell takes. Nothing for a usable one, or an empty one.
std::optional<std::string> ToolDirProblem(std::string_view dir, std::size_t toolPathCharacters);

}  // namespace quilbo
