// Sequences of loads, failures, deletions, pastes and input during pauses: whatever
// happens, the caption, the list position and the image shown describe one file.

#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>

#include "main_window_fixture.h"

namespace zelk {
namespace {

class SequenceTest : public MainWindowTest {
 protected:
  // Files a.bmp ... of 4 x 3 pixels, each of one colour of its own.
  std::vector<std::string> WriteFolder(const std::string& names) {
    std::vector<std::string> paths;
    for (char c : names)
      paths.push_back(
          WriteImage(std::string(1, c) + ".bmp", 4, 3, [c](int, int) { return ColourOf(c); }));
    return paths;
  }
  static std::uint32_t ColourOf(char name) {
    return (static_cast<std::uint32_t>(name) << 16) | 0x40u;
  }

  // The caption names file name at position/count, and that file's pixels are shown.
  void ExpectShowing(char name, int position, int count) {
    const std::string path = (dir_ / (std::string(1, name) + ".bmp")).string();
    EXPECT_EQ(Caption().rfind(
                  std::to_string(position) + "/" + std::to_string(count) + " " + path + "  ", 0),
              0u)
        << Caption();
    ASSERT_FALSE(window_->image().Empty());
    EXPECT_EQ(window_->image().PixelRgb(0, 0), ColourOf(name)) << "shown is not " << name;
    EXPECT_EQ(window_->controls().view->Picture().PixelRgb(0, 0), ColourOf(name));
    EXPECT_EQ(window_->files()[window_->current_index()], path);
  }
};

TEST_F(SequenceTest, DeletedFilesPastesAndStepsKeepCaptionListAndImageTogether) {
  MakeWindow(200, 150);
  const std::vector<std::string> paths = WriteFolder("abcdefg");
  OpenThroughDialog(paths);
  for (int i = 0; i < 4; ++i) window_->ShowNext(), WaitForLoad();
  ExpectShowing('e', 5, 7);

  // d.bmp vanished: Left skips it and shows c, and the next Left shows b.
  std::filesystem::remove(paths[3]);
  window_->ShowPrevious();
  WaitForLoad();
  ExpectShowing('c', 3, 6);
  window_->ShowPrevious();
  WaitForLoad();
  ExpectShowing('b', 2, 6);

  // A paste (listed as cb_....bmp after c, but never written), then Right and Left:
  // the pasted entry has no file, so Left passes over it to c.
  Bitmap pasted;
  pasted.Reset(2, 2);
  desktop_.clipboard_image = std::move(pasted);
  window_->PasteImage();
  EXPECT_EQ(window_->current_index(), 3);
  window_->ShowNext();
  WaitForLoad();
  ExpectShowing('e', 5, 7);
  window_->ShowPrevious();
  WaitForLoad();
  ExpectShowing('c', 3, 6);
}

TEST_F(SequenceTest, InputDuringAPauseWaitsForTheRunningCommand) {
  MakeWindow(200, 150);
  const std::vector<std::string> paths = WriteFolder("abcde");
  OpenThroughDialog(paths);
  // b.bmp became a folder: the existence query retries, processing events in its
  // pauses; three presses of Right arrive during the first pause.
  std::filesystem::remove(paths[1]);
  std::filesystem::create_directory(paths[1]);
  int presses = 0;
  desktop_.on_process_events = [&] {
    while (presses < 3) ++presses, window_->ShowNext();
  };
  window_->ShowNext();
  WaitForLoad();
  desktop_.on_process_events = nullptr;
  // The first press dropped b and loaded c; the three waiting presses each ran after
  // it in turn, superseding each other's loads: e is shown, nothing else was dropped.
  ExpectShowing('e', 4, 4);
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(window_->files().IndexOf(paths[3]), 2);
}

TEST_F(SequenceTest, OnePressGivesOneMessageHoweverManyFilesFail) {
  MakeWindow(200, 150);
  const std::vector<std::string> paths = WriteFolder("abcde");
  OpenThroughDialog(paths);
  window_->ShowNext();
  WaitForLoad();
  window_->ShowNext();
  WaitForLoad();
  ExpectShowing('c', 3, 5);
  // Every file became unreadable, the one shown too: Right fails on d and steps back
  // to c, which is still in memory and is not decoded again.
  for (const std::string& path : paths) WriteBytes(std::filesystem::path(path).filename(), "BM?");
  window_->ShowNext();
  WaitForLoad();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text.rfind("Error Opening " + paths[3] + "\n", 0), 0u);
  ExpectShowing('c', 3, 4);

  // With nothing shown yet, a selection whose first files fail shows the first one
  // that loads, and one message names the first failure and counts the rest.
  desktop_.messages.clear();
  MakeWindow(200, 150);
  const std::string good = WriteImage("z.bmp", 2, 2, [](int, int) { return 0x123456u; });
  OpenThroughDialog({paths[0], paths[1], paths[2], good});
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text.rfind("Error Opening " + paths[0] + "\n", 0), 0u);
  EXPECT_NE(desktop_.messages[0].text.find("2 more files could not be opened"), std::string::npos)
      << desktop_.messages[0].text;
  EXPECT_EQ(Caption().rfind("1/1 " + good + "  ", 0), 0u) << Caption();
}

TEST_F(SequenceTest, TheNewestLoadWinsAndEscapeKeepsTheImageShown) {
  MakeWindow(200, 150);
  const std::vector<std::string> paths = WriteFolder("abc");
  OpenThroughDialog(paths);
  // Two presses before the first load ends: the second supersedes it.
  window_->ShowNext();
  window_->ShowNext();
  WaitForLoad();
  ExpectShowing('c', 3, 3);

  // Escape during a load: the image shown stays, byte for byte.
  const Bitmap before = window_->image().Clone();
  window_->ShowPrevious();
  ASSERT_TRUE(window_->load_in_progress());
  window_->Escape();
  EXPECT_FALSE(window_->load_in_progress());
  WaitForLoad();
  ExpectShowing('c', 3, 3);
  ASSERT_EQ(window_->image().Height(), before.Height());
  for (int y = 0; y < before.Height(); ++y)
    EXPECT_EQ(0, std::memcmp(window_->image().Row(y), before.Row(y), 3 * before.Width()));

  // A pipe dropped on the window is refused at once instead of waiting for a writer;
  // the image shown stays listed, so the caption still names a listed file.
  const std::string pipe = (dir_ / "p.png").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  window_->OpenSelection({pipe});
  WaitForLoad();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_NE(desktop_.messages[0].text.find("not a regular file"), std::string::npos);
  ExpectShowing('c', 1, 1);
}

TEST_F(SequenceTest, ClosingDuringALoadStopsItsThread) {
  MakeWindow(200, 150);
  const std::string big = WriteImage("big.png", 3000, 3000, Pattern);
  desktop_.open_answers.push_back({big});
  window_->OpenFiles();
  ASSERT_TRUE(window_->load_in_progress());
  window_.reset();  // joins the decode; AddressSanitizer sees any use after free
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace zelk
