#include "launch/launch_arguments.h"

namespace quilbo {
namespace {

// The shell's own results above the system's error codes (SE_ERR_...), and 0.
const char* ShellReason(int code) {
  switch (code) {
    case 0: return "The system is out of memory or resources";
    case 26: return "A sharing violation occurred";
    case 27: return "The file name association is incomplete or invalid";
    case 28: return "The request timed out";
    case 29: return "The DDE transaction failed";
    case 30: return "Other DDE transactions were being processed";
    case 31: return "No application is associated with the file";
    case 32: return "A library the program needs was not found";
    default: return nullptr;
  }
}

std::string_view TrimmedEnd(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' ||
                           text.back() == '.'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

LaunchArguments ComputeLaunchArguments(const std::string& toolDir, const std::string& parameters,
                                       bool minimized) {
  return LaunchArguments{"open", toolDir + std::string(kToolName), parameters, toolDir,
                         minimized ? kShowMinimized : kShowNormal};
}

std::optional<std::string> LaunchTooLongMessage(std::string_view file, std::size_t fileCharacters,
                                                std::size_t parameterCharacters) {
  const std::string start = "Cannot start " + QuotedPathForMessage(file, fileCharacters, '"') + ": the ";
  if (fileCharacters > kMaxToolPathCharacters)
    return start + "path is " + std::to_string(fileCharacters) +
           " characters long, and Windows takes at most " + std::to_string(kMaxToolPathCharacters);
  const std::size_t commandLine = fileCharacters + 3 + parameterCharacters;
  if (commandLine > kMaxCommandLineCharacters)
    return start + "command line would be " + std::to_string(commandLine) +
           " characters long, and Windows takes at most " + std::to_string(kMaxCommandLineCharacters);
  return std::nullopt;
}

std::string LaunchFailureMessage(std::string_view file, int code, std::string_view systemReason) {
  std::string reason;
  if (const char* shell = ShellReason(code)) {
    reason = shell;
  } else if (!TrimmedEnd(systemReason).empty()) {
    reason = TrimmedEnd(systemReason);
  } else {
    reason = "error " + std::to_string(code);
  }
  // Whole: the path is short enough for the shell, and every part of it may matter.
  return "Cannot start \"" + std::string(file) + "\": " + reason;
}

}  // namespace quilbo
