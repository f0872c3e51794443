#include "launch/launch_tool.h"

#include <shellapi.h>

#include "app/com_apartment.h"
#include "app/system_function.h"
#include "launch/launch_arguments.h"
#include "launch/tool_dir.h"

namespace quilbo {

void LaunchTool(HWND owner, const std::string& parameters, bool minimized) {
  const LaunchArguments arguments = ComputeLaunchArguments(ToolDir, parameters, minimized);
  static const auto shellExecute = SystemFunction<decltype(&ShellExecuteA)>("shell32.dll", "ShellExecuteA");
  const ComApartment com;  // "open" may go through the shell's COM handlers
  // The result is not looked at: a failed start shows only in what the shell shows.
  shellExecute(owner, arguments.operation.c_str(), arguments.file.c_str(),
                arguments.parameters.c_str(), arguments.directory.c_str(), arguments.showCommand);
}

}  // namespace quilbo
