#include "launch/tool_dir.h"

namespace quilbo {

std::string ToolDir;

}  // namespace quilbo
