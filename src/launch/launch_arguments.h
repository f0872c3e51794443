#pragma once
// What the shell is asked to do when the tool starts, apart from the call itself,
// and what is said when it cannot be done.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "options/message_quote.h"

namespace quilbo {

// The show commands, with the values of the Windows SW_ constants.
constexpr int kShowNormal = 1;     // SW_SHOWNORMAL
constexpr int kShowMinimized = 2;  // SW_SHOWMINIMIZED

// The longest program path the shell takes, in the system's characters.
// Longer ones overran its buffers.
constexpr std::size_t kMaxToolPathCharacters = kMaxPathCharacters;
// The longest command line a new process gets; the shell cuts a longer one.
constexpr std::size_t kMaxCommandLineCharacters = 32766;

// The tool's file name, without an extension: the shell finds the program.
constexpr std::string_view kToolName = "normalize";

struct LaunchArguments {
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand = kShowNormal;
};

// The tool is "normalize" in `toolDir`, which is empty or ends in a backslash,
// so nothing is put between them; `toolDir` is also the working directory.
LaunchArguments ComputeLaunchArguments(const std::string& toolDir, const std::string& parameters,
                                       bool minimized);

// The refusal for a start the system cannot make whole: a program path of
// `fileCharacters` longer than the shell takes, or a command line (the path in
// quotes, a space, `parameterCharacters` of parameters) longer than a process
// gets. Characters are counted as the system counts them. Nothing when both fit.
std::optional<std::string> LaunchTooLongMessage(std::string_view file, std::size_t fileCharacters,
                                                std::size_t parameterCharacters);

// The message for a start the shell refused: `code` is its result (32 or
// less), `systemReason` the system's text for that code when it has one.
std::string LaunchFailureMessage(std::string_view file, int code, std::string_view systemReason);

}  // namespace quilbo
