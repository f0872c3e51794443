#include "options/dropped_file.h"

#include <gtest/gtest.h>

#include <string>

namespace quilbo {
namespace {

TEST(DroppedFile, OnlyAWavFileWithinTheLengthLimit) {
  EXPECT_EQ(JudgeDroppedFile("C:\\in.wav", false), TDropRefusal::None);
  EXPECT_EQ(JudgeDroppedFile("C:\\IN.WAV", false), TDropRefusal::None);
  EXPECT_EQ(JudgeDroppedFile("C:\\my.songs\\Mix.WaV", false), TDropRefusal::None);
  EXPECT_EQ(JudgeDroppedFile("C:\\\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA.wav", false), TDropRefusal::None);
  EXPECT_EQ(JudgeDroppedFile("C:\\in.wav", true), TDropRefusal::Folder);
  EXPECT_EQ(JudgeDroppedFile("C:\\music", true, true), TDropRefusal::None);
  EXPECT_EQ(JudgeDroppedFile("C:\\in.mp3", false), TDropRefusal::NotWave);
  EXPECT_EQ(JudgeDroppedFile("C:\\in.wav.mp3", false), TDropRefusal::NotWave);
  EXPECT_EQ(JudgeDroppedFile("C:\\in.wave", false), TDropRefusal::NotWave);
  EXPECT_EQ(JudgeDroppedFile("C:\\wav", false), TDropRefusal::NotWave);
  EXPECT_EQ(JudgeDroppedFile("C:\\x.wav\\noext", false), TDropRefusal::NotWave);
  EXPECT_EQ(JudgeDroppedFile("C:\\.wav", false), TDropRefusal::None);  // a name Explorer allows

  const std::string head = "C:\\";
  const std::string longest = head + std::string(kMaxInputPathBytes - head.size() - 4, 'a') + ".wav";
  ASSERT_EQ(longest.size(), kMaxInputPathBytes);
  EXPECT_EQ(JudgeDroppedFile(longest, false), TDropRefusal::None);
  EXPECT_EQ(JudgeDroppedFile("a" + longest, false), TDropRefusal::TooLong);
}

TEST(DroppedFile, RefusalMessagesNameThePath) {
  EXPECT_EQ(DropRefusalMessage(TDropRefusal::None, "C:\\in.wav", 9), "");
  EXPECT_EQ(DropRefusalMessage(TDropRefusal::NotWave, "C:\\in.mp3", 9),
            "\"C:\\in.mp3\" is not a WAV file; only a file ending in .wav can be the input");
  EXPECT_NE(DropRefusalMessage(TDropRefusal::Folder, "C:\\music", 8).find("\"C:\\music\" is a folder"),
            std::string::npos);
  EXPECT_NE(DropRefusalMessage(TDropRefusal::TooLong, "x", 1).find("1040 bytes"), std::string::npos);
  const std::string longest = "C:\\" + std::string(252, 'm') + ".mp3";
  EXPECT_EQ(DropRefusalMessage(TDropRefusal::NotWave, longest, 259).find("\"" + longest + "\" is not"), 0u);
}

}  // namespace
}  // namespace quilbo
