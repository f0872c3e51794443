// The whole job: the front end starts our real normalize.exe on a WAV file and
// the file's loudness changes as asked.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "harness/harness.h"

#include <tlhelp32.h>

namespace e2e {
namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A mono 16-bit PCM file whose samples swing between -peak and +peak.
std::string SquareWave16(int peak, int frames) {
  std::string data;
  for (int i = 0; i < frames; ++i) PutLe(data, static_cast<std::uint16_t>((i / 50) % 2 ? -peak : peak), 2);
  std::string wav = "RIFF";
  PutLe(wav, static_cast<std::uint32_t>(36 + data.size()), 4);
  wav += "WAVEfmt ";
  PutLe(wav, 16, 4);
  PutLe(wav, 1, 2);      // PCM
  PutLe(wav, 1, 2);      // mono
  PutLe(wav, 44100, 4);
  PutLe(wav, 88200, 4);
  PutLe(wav, 2, 2);
  PutLe(wav, 16, 2);
  wav += "data";
  PutLe(wav, static_cast<std::uint32_t>(data.size()), 4);
  return wav + data;
}

// The largest sample magnitude of such a file, or -1 while it is not one.
int PeakOf16BitFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto data = bytes.find("data");
  if (bytes.size() < 44 || data == std::string::npos) return -1;
  int peak = 0;
  for (std::size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}

bool ToolRunning() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool running = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !running; more = Process32Next(snapshot, &entry))
    running = _stricmp(entry.szExeFile, "normalize.exe") == 0;
  CloseHandle(snapshot);
  return running;
}

// Reading the file while the tool works could hold it open just when the tool
// replaces it (which it then refuses, keeping the original): wait for the tool
// to start and to end, and only then look.
void WaitForToolRun() {
  EXPECT_TRUE(WaitUntil(ToolRunning, Ms(10000))) << "the tool did not start";
  EXPECT_TRUE(WaitUntil([] { return !ToolRunning(); }, Ms(30000))) << "the tool did not end";
}

TEST(RealTool, GoNormalizesTheChosenFileAsAsked) {
  const std::string toolDir = ScratchDir("tool");
  CopyFileTo(BinDir() + "normalize.exe", toolDir + "normalize.exe");
  const std::string percentFile = toolDir + "tone at a quarter.wav";
  const std::string levelFile = toolDir + "tone for six dB.wav";
  WriteFile(percentFile, SquareWave16(8192, 44100));
  WriteFile(levelFile, SquareWave16(4000, 44100));

  StartOptions options;
  options.toolDir = toolDir;
  App app(options);

  // -m 100: the peak becomes full scale.
  app.SendClick(IDC_RADIOBUTTON3);
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, percentFile));
  ASSERT_EQ(app.WaitForCommandLine("-m 100 \"" + percentFile + "\""), "-m 100 \"" + percentFile + "\"");
  app.Click(IDC_BUTTON1);
  WaitForToolRun();
  EXPECT_GE(PeakOf16BitFile(percentFile), 32766);

  // -a 6: about twice the amplitude (6 dB is a factor of 1.995).
  app.SendClick(IDC_RADIOBUTTON2);
  app.SetText(IDC_SPINEDIT2, "6");
  ASSERT_TRUE(app.PickFile(IDC_BITBTN2, levelFile));
  ASSERT_EQ(app.WaitForCommandLine("-a 6 \"" + levelFile + "\""), "-a 6 \"" + levelFile + "\"");
  app.Click(IDC_BUTTON1);
  WaitForToolRun();
  EXPECT_NEAR(PeakOf16BitFile(levelFile), 7981, 1);
}

}  // namespace
}  // namespace e2e
