#include "launch/launch_arguments.h"

namespace quilbo {

LaunchArguments ComputeLaunchArguments(const std::string& toolDir, const std::string& parameters,
                                       bool minimized) {
  return LaunchArguments{"open", toolDir + "normalize", parameters, toolDir,
                         minimized ? kShowMinimized : kShowNormal};
}

}  // namespace quilbo
