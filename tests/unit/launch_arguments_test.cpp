#include "launch/launch_arguments.h"

#include <gtest/gtest.h>

#include "launch/tool_dir.h"

namespace quilbo {
namespace {

// What can go wrong in the arguments: the tool's path from the folder (empty,
// a drive root stored with two backslashes) and the show command.
TEST(ComputeLaunchArguments, ToolPathFromTheFolderAndTheShowCommand) {
  const struct {
    const char* toolDir;
    bool minimized;
    const char* file;
    int show;
  } cases[] = {
      {"C:\\Tools\\Norm\\", false, "C:\\Tools\\Norm\\normalize", kShowNormal},
      {"C:\\Tools\\Norm\\", true, "C:\\Tools\\Norm\\normalize", kShowMinimized},
      // Empty: the shell looks the tool up by name, with no working directory.
      {"", false, "normalize", kShowNormal},
      {"C:\\\\", true, "C:\\\\normalize", kShowMinimized},
  };
  for (const auto& c : cases) {
    const LaunchArguments arguments = ComputeLaunchArguments(c.toolDir, "-a -6 \"C:\\a b.wav\"", c.minimized);
    EXPECT_EQ(arguments.file, c.file);
    EXPECT_EQ(arguments.directory, c.toolDir);
    EXPECT_EQ(arguments.showCommand, c.show);
  }
}

TEST(LaunchFailureMessage, NamesThePathTriedAndTheReason) {
  EXPECT_EQ(LaunchFailureMessage("C:\\n\\normalize", 2, "The system cannot find the file specified.\r\n"),
            "Cannot start \"C:\\n\\normalize\": The system cannot find the file specified");
  // The shell's own codes have no system text of the same meaning.
  EXPECT_EQ(LaunchFailureMessage("normalize", 31, "A device attached to the system is not functioning."),
            "Cannot start \"normalize\": No application is associated with the file");
  EXPECT_EQ(LaunchFailureMessage("normalize", 0, ""),
            "Cannot start \"normalize\": The system is out of memory or resources");
  EXPECT_EQ(LaunchFailureMessage("normalize", 12, ""), "Cannot start \"normalize\": error 12");
}

TEST(LaunchTooLongMessage, RefusesMoreThanWindowsTakes) {
  EXPECT_FALSE(LaunchTooLongMessage("C:\\normalize", 12, 100));
  EXPECT_FALSE(LaunchTooLongMessage(std::string(259, 'x'), 259, 32766 - 259 - 3));
  auto message = LaunchTooLongMessage(std::string(1009, 'x'), 1009, 10);
  ASSERT_TRUE(message);
  EXPECT_EQ(*message, "Cannot start \"" + std::string(60, 'x') +
                          "...\": the path is 1009 characters long, and Windows takes at most 259");
  // The shell would pass the command line on cut, with a path cut inside it.
  message = LaunchTooLongMessage("C:\\normalize", 12, 32766 - 12 - 2);
  ASSERT_TRUE(message);
  EXPECT_EQ(*message, "Cannot start \"C:\\normalize\": the command line would be 32767 characters "
                      "long, and Windows takes at most 32766");
  // A path the shell takes is named whole, however long.
  const std::string longest = "C:\\" + std::string(246, 't') + "\\normalize";  // 259 characters
  message = LaunchTooLongMessage(longest, 259, 32766);
  ASSERT_TRUE(message);
  EXPECT_EQ(*message, "Cannot start \"" + longest + "\": the command line would be 33028 characters long, "
                      "and Windows takes at most 32766");
}

TEST(ToolDirProblem, UsableOnlyEndingInABackslashAndShortEnough) {
  EXPECT_FALSE(ToolDirProblem("", 9));
  EXPECT_FALSE(ToolDirProblem("C:\\n\\", 14));
  EXPECT_FALSE(ToolDirProblem("C:\\\\", 13));  // a drive root with its second backslash
  // Characters, not bytes, count: a long name in a script of several bytes may fit.
  EXPECT_FALSE(ToolDirProblem("C:\\" + std::string(600, '\xE3') + "\\", 259));
  EXPECT_TRUE(ToolDirProblem("C:\\n", 14));
  const std::string longest = "C:\\" + std::string(256, 'd');  // 259 characters, no backslash at the end
  EXPECT_EQ(ToolDirProblem(longest, 268), "'" + longest + "' is not a usable tool folder: it does not end in a backslash");
  EXPECT_TRUE(ToolDirProblem("C:\\n\\", 260));
}

}  // namespace
}  // namespace quilbo
