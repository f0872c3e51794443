// normalize.exe over a library on Windows: --output-dir mirrors the folders
// (made with the system's own calls, names beyond ASCII included) and keeps
// the originals, a rerun leaves the results as they are, and --report writes
// its page.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "harness/harness.h"

namespace e2e {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

FILETIME Written(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

std::optional<DWORD> Tool(const std::string& args) {
  std::string command = "\"";  // one append at a time: GCC 12 warns wrongly of "\"" + a temporary string
  command += BinDir() + "normalize.exe\" " + args;
  return RunAndWait(command);
}

TEST(ToolLibrary, OutputDirMirrorsTheLibraryKeepsTheOriginalsAndReportsIt) {
  const std::string lib = ScratchDir("lib");
  const std::string out = ScratchDir() + "out\\Caf\xC3\xA9";  // made by the tool
  const std::vector<std::string> names = {"a.wav", "disc 2\\b.wav"};
  WriteFile(lib + names[0], SquareWave16(3000, 44100));
  WriteFile(lib + names[1], SquareWave16(9000, 22050));
  const std::string page = ScratchDir() + "report.html";
  // No backslash before a closing quote, which would escape it.
  const std::string folder = lib.substr(0, lib.size() - 1);
  const std::string args = "-r -m 90 --output-dir \"" + out + "\" --report \"" + page + "\" \"" + folder + "\"";

  ASSERT_EQ(Tool(args), 0u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Contents(lib + name), name == names[0] ? SquareWave16(3000, 44100) : SquareWave16(9000, 22050));
    EXPECT_NEAR(PeakOf16BitWav(out + "\\" + name), 29491, 1);  // 90 % of full scale
  }
  const std::string report = Contents(page);
  EXPECT_EQ(report.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(report.find("\"written\":true"), std::string::npos);
  EXPECT_NE(report.find("b.wav\",\"written\":true"), std::string::npos);
  EXPECT_NE(report.find("</html>"), std::string::npos);

  // Again: nothing written, the results as they were.
  const FILETIME before = Written(out + "\\" + names[1]);
  ASSERT_EQ(Tool(args), 0u);
  const FILETIME after = Written(out + "\\" + names[1]);
  EXPECT_EQ(CompareFileTime(&before, &after), 0);

  // The library's own folder would mix results with originals.
  EXPECT_EQ(Tool("-r -m 90 --output-dir \"" + lib + "disc 2\" \"" + folder + "\""), 1u);
}

}  // namespace
}  // namespace e2e
