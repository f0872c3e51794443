#include "launch/launch_arguments.h"

#include <gtest/gtest.h>

namespace quilbo {
namespace {

TEST(ComputeLaunchArguments, FollowsTheShellArgumentTable) {
  const struct {
    const char* toolDir;
    const char* parameters;
    bool minimized;
    const char* file;
    int show;
  } cases[] = {
      {"C:\\Tools\\Norm\\", "-l 0 \"Select Input File!\"", false, "C:\\Tools\\Norm\\normalize",
       kShowNormal},
      {"C:\\Tools\\Norm\\", "-a -6 \"C:\\My Music\\a b.wav\"", true, "C:\\Tools\\Norm\\normalize",
       kShowMinimized},
      // Empty: the shell looks the tool up by name, with no working directory.
      {"", "-m 100 \"x.wav\"", false, "normalize", kShowNormal},
      // A drive root chosen as the folder is stored with a second backslash and used unchanged.
      {"C:\\\\", "", true, "C:\\\\normalize", kShowMinimized},
  };
  for (const auto& c : cases) {
    const LaunchArguments arguments = ComputeLaunchArguments(c.toolDir, c.parameters, c.minimized);
    EXPECT_EQ(arguments.operation, "open");
    EXPECT_EQ(arguments.file, c.file);
    EXPECT_EQ(arguments.parameters, c.parameters);  // passed verbatim, quotes and all
    EXPECT_EQ(arguments.directory, c.toolDir);
    EXPECT_EQ(arguments.showCommand, c.show);
  }
}

}  // namespace
}  // namespace quilbo
