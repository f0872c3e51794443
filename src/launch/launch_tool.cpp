#include "launch/launch_tool.h"

#include <shellapi.h>

#include <stdexcept>

#include "win/com_apartment.h"
#include "win/library.h"
#include "launch/launch_arguments.h"
#include "launch/tool_dir.h"

namespace quilbo {
namespace {

// The system's text for an error code, or nothing.
std::string SystemReason(DWORD code) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  return std::string(text, length < sizeof text ? length : 0);
}

}  // namespace

std::size_t SystemCharacters(const std::string& text) {
  if (text.empty()) return 0;
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  // Text that does not convert is counted by its bytes, never fewer characters.
  return length > 0 ? static_cast<std::size_t>(length) : text.size();
}

void LaunchTool(HWND owner, const std::string& parameters, bool minimized) {
  const LaunchArguments arguments = ComputeLaunchArguments(ToolDir, parameters, minimized);
  if (const auto tooLong = LaunchTooLongMessage(arguments.file, SystemCharacters(arguments.file),
                                                SystemCharacters(arguments.parameters)))
    throw std::runtime_error(*tooLong);
  static const auto shellExecute = SystemFunction<decltype(&ShellExecuteA)>("shell32.dll", "ShellExecuteA");
  const ComApartment com;  // "open" may go through the shell's COM handlers
  const auto result = reinterpret_cast<INT_PTR>(
      shellExecute(owner, arguments.operation.c_str(), arguments.file.c_str(),
                   arguments.parameters.c_str(), arguments.directory.c_str(), arguments.showCommand));
  // Above 32 the tool has started; it is not watched after that.
  if (result > 32) return;
  throw std::runtime_error(LaunchFailureMessage(arguments.file, static_cast<int>(result),
                                                SystemReason(static_cast<DWORD>(result))));
}

}  // namespace quilbo
