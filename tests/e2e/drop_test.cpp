// Files dropped on the main window: a WAV file (or a folder holding some) becomes
// the input as if chosen in the file dialog; anything else is refused with an
// error and changes nothing.
// The drop arrives as the system delivers one after a drag from Explorer.
#include "harness/harness.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

const std::string kPlaceholder = "Select Input File!";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

// The first of the dropped files is taken, "Go!" and "MultiTasking!" are
// enabled (and "Process" with a ticked "MultiTasking!"), and a name in any
// script arrives intact.
TEST(Drop, AWavFileBecomesTheInput) {
  const std::string dir = ScratchDir("\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA \xE9\x9F\xB3");  // Cyrillic, CJK
  const std::string first = dir + "Mix \xC3\xA9t\xC3\xA9.WAV", second = dir + "second.wav";
  WriteFile(first);
  WriteFile(second);
  StartOptions options;
  options.values["MT"] = "yes";
  App app(options);
  ASSERT_NE(app.Main(), nullptr);
  ASSERT_FALSE(app.Enabled(IDC_BUTTON1));
  ASSERT_FALSE(app.Enabled(IDC_BUTTON2));

  DropFiles(app.Process(), app.Main(), {first, second});
  EXPECT_EQ(app.WaitForText(IDC_EDIT3, first), first);
  EXPECT_TRUE(WaitUntil([&] { return app.Enabled(IDC_BUTTON1); }));
  EXPECT_TRUE(app.Enabled(IDC_CHECKBOX2));
  ASSERT_TRUE(app.Checked(IDC_CHECKBOX2));
  EXPECT_TRUE(app.Enabled(IDC_BUTTON2)) << "\"Process\" follows the ticked \"MultiTasking!\"";
  EXPECT_EQ(app.WaitForCommandLine("-l 0 " + Quoted(first)), "-l 0 " + Quoted(first));
  EXPECT_EQ(app.Dialog(), nullptr) << "a good drop shows nothing";

  // As long a path as the file dialog returns is taken whole: here 1040 bytes,
  // mostly characters of three bytes.
  std::string longest = "C:\\";
  while (longest.size() + 3 + 4 <= 4 * 260) longest += "\xE9\x9F\xB3";
  longest += std::string(4 * 260 - 4 - longest.size(), 'x') + ".wav";
  ASSERT_EQ(longest.size(), 4u * 260);
  DropFiles(app.Process(), app.Main(), {longest});
  EXPECT_EQ(app.WaitForText(IDC_EDIT3, longest), longest);
  EXPECT_EQ(app.Dialog(), nullptr);

  // A folder that holds a WAV file is taken too: the tool works on each in it.
  const std::string album = dir + "album";
  WriteFile(album + "\\Track 1.WAV");
  DropFiles(app.Process(), app.Main(), {album});
  EXPECT_EQ(app.WaitForText(IDC_EDIT3, album), album);
  EXPECT_EQ(app.Dialog(), nullptr);
}

// A folder with no WAV file in it, a file not ending in .wav and a path longer
// than the dialog's limit are each refused with an error naming the reason; the
// input stays as it was.
TEST(Drop, FoldersOtherFilesAndOverlongPathsAreRefused) {
  const std::string dir = ScratchDir("drops");
  const std::string music = dir + "music.wav\\";  // a folder, however it is named
  const std::string mp3 = dir + "song.mp3", wav = dir + "song.wav";
  WriteFile(music + "inside.mp3");
  CreateDirectoryA((music + "sub.wav").c_str(), nullptr);  // a folder in it is no WAV file
  WriteFile(mp3);
  WriteFile(wav);
  App app;
  ASSERT_NE(app.Main(), nullptr);

  DropFiles(app.Process(), app.Main(), {music.substr(0, music.size() - 1)});
  EXPECT_NE(app.NextMessage().find("is a folder with no WAV file (.wav) in it"), std::string::npos);
  DropFiles(app.Process(), app.Main(), {mp3, wav});
  const std::string refusal = app.NextMessage();
  EXPECT_EQ(refusal.substr(0, 4), "\"C:\\") << refusal;
  EXPECT_NE(refusal.find("\" is not a WAV file; only a file ending in .wav can be the input."), std::string::npos)
      << refusal;
  EXPECT_EQ(app.Text(IDC_EDIT3), kPlaceholder);
  EXPECT_FALSE(app.Enabled(IDC_BUTTON1));
  EXPECT_FALSE(app.Enabled(IDC_CHECKBOX2));

  DropFiles(app.Process(), app.Main(), {wav});
  ASSERT_EQ(app.WaitForText(IDC_EDIT3, wav), wav);
  const std::string tooLong = "C:\\" + std::string(4 * 260 - 3 - 4 + 1, 'x') + ".wav";
  DropFiles(app.Process(), app.Main(), {tooLong});
  EXPECT_NE(app.NextMessage().find("longer than"), std::string::npos);
  EXPECT_EQ(app.Text(IDC_EDIT3), wav) << "a refused drop changes nothing";
}

// While a modal window (the About box, an error box) is open the main window
// takes no drop, then or later.
TEST(Drop, NothingHappensWhileAModalWindowIsOpen) {
  const std::string wav = ScratchDir() + "in.wav";
  WriteFile(wav);
  App app;
  ASSERT_NE(app.Main(), nullptr);
  app.Menu(IDM_ABOUT1);
  HWND about = app.WaitForAbout();
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !IsEnabled(app.Main()); }));
  DropFiles(app.Process(), app.Main(), {wav});
  EXPECT_TRUE(Stays([&] { return app.Text(IDC_EDIT3) == kPlaceholder; }, Ms(300)));
  PostClick(Child(about, IDC_ABOUT_BUTTON1));
  ASSERT_TRUE(WaitUntil([&] { return IsEnabled(app.Main()); }));
  EXPECT_TRUE(Stays([&] { return app.Text(IDC_EDIT3) == kPlaceholder; }, Ms(500)));
  EXPECT_FALSE(app.Enabled(IDC_BUTTON1));
  EXPECT_EQ(app.Dialog(), nullptr);

  // Nor while the error box of a refused drop is open: no second box over it.
  DropFiles(app.Process(), app.Main(), {ScratchDir() + "song.mp3"});
  HWND box = app.WaitForDialog();
  ASSERT_NE(box, nullptr);
  DropFiles(app.Process(), app.Main(), {wav});
  EXPECT_TRUE(Stays([&] { return app.Text(IDC_EDIT3) == kPlaceholder && app.Dialog() == box; }, Ms(500)));
  OkDialog(box);
  app.WaitForNoDialog();
  EXPECT_EQ(app.Text(IDC_EDIT3), kPlaceholder);
}
