// The records the stand-in normalize.exe leaves of each start.
#include "harness/harness.h"
#include "harness/internal.h"

#include <cstdlib>
#include <sstream>

namespace e2e {

using namespace detail;

namespace {
std::string LaunchFile(const std::string& dir) {
  return (dir.empty() ? StandInDir() : dir) + "launches.txt";
}
}  // namespace

std::vector<Launch> Launches(const std::string& dir) {
  std::vector<Launch> all;
  std::istringstream in(ReadWholeFile(LaunchFile(dir)));
  Launch current;
  bool open = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    const std::string key = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (key == "cmdline") {
      current = Launch{};
      current.commandLine = value;
      open = true;
    } else if (key == "arg") {
      current.args.push_back(value);
    } else if (key == "cwd") {
      current.currentDir = value;
    } else if (key == "useshowwindow") {
      current.useShowWindow = value == "1";
    } else if (key == "showwindow") {
      current.showWindow = std::atoi(value.c_str());
    } else if (key == "end" && open) {
      all.push_back(current);
      open = false;
    }
  }
  return all;
}

void ClearLaunches(const std::string& dir) { DeleteFileA(LaunchFile(dir).c_str()); }

std::vector<Launch> WaitForLaunches(std::size_t count, const std::string& dir, Ms timeout) {
  std::vector<Launch> seen;
  WaitUntil(
      [&] {
        seen = Launches(dir);
        return seen.size() >= count;
      },
      timeout);
  return seen;
}

}  // namespace e2e
