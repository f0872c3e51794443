#include "launch/tool_dir.h"

#include <algorithm>

#include "launch/launch_arguments.h"
#include "options/message_quote.h"

namespace quilbo {

std::string ToolDir;

std::optional<std::string> ToolDirProblem(std::string_view dir, std::size_t toolPathCharacters) {
  if (dir.empty()) return std::nullopt;
  const std::size_t dirCharacters = toolPathCharacters - std::min(toolPathCharacters, kToolName.size());
  const std::string start = QuotedPathForMessage(dir, dirCharacters, '\'') + " is not a usable tool folder: ";
  if (dir.back() != '\\') return start + "it does not end in a backslash";
  if (toolPathCharacters > kMaxToolPathCharacters)
    return start + "the tool's path would be " + std::to_string(toolPathCharacters) +
           " characters long, and Windows takes at most " + std::to_string(kMaxToolPathCharacters);
  return std::nullopt;
}

}  // namespace quilbo
