#pragma once
// What the shell is asked to do when the tool starts, apart from the call itself.
#include <string>

namespace quilbo {

// The show commands, with the values of the Windows SW_ constants.
constexpr int kShowNormal = 1;     // SW_SHOWNORMAL
constexpr int kShowMinimized = 2;  // SW_SHOWMINIMIZED

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

}  // namespace quilbo
