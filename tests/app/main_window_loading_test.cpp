#include <QApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QUrl>

#include "core/window_size.h"
#include "main_window_fixture.h"
#include "support/support.h"

namespace zelk {
namespace {

TEST_F(MainWindowTest, OpensWithTheScreensSizeAndOnlyLoadAndConvertEnabled) {
  MainWindow window(desktop_);
  const QSize screen = QGuiApplication::primaryScreen()->size();
  const WindowSize expected = InitialWindowSize(screen.width(), screen.height(), {622, 422});
  EXPECT_EQ(window.width(), expected.width);
  EXPECT_EQ(window.height(), expected.height);
  EXPECT_EQ(window.windowTitle().toStdString(), "Zelk Lossless Image Zoomer");
  EXPECT_FALSE(window.controls().zoom_button->isEnabled());
  EXPECT_FALSE(window.controls().print_button->isEnabled());
  EXPECT_FALSE(window.controls().previous_button->isEnabled());
  EXPECT_FALSE(window.controls().next_button->isEnabled());
  EXPECT_TRUE(window.controls().load_button->isEnabled());
  EXPECT_TRUE(window.controls().convert_button->isEnabled());
  EXPECT_TRUE(window.controls().enforce_aspect_box->isChecked());
  EXPECT_FALSE(window.controls().actual_size_box->isChecked());
  EXPECT_TRUE(window.loading());
  EXPECT_EQ(window.view_scale(), -1.0);

  // Before any image: toggling actual size, zooming, converting and the right-click
  // commands divide nothing by zero and read no missing entry.
  window.show();
  window.controls().actual_size_box->click();
  window.controls().actual_size_box->click();
  window.ToggleZoom();
  window.ConvertCurrentFile();
  window.SaveVisibleView();
  window.ReplaceColourRanges();
  EXPECT_EQ(window.windowTitle().toStdString(), "Zelk Lossless Image Zoomer");
  EXPECT_TRUE(desktop_.save_requests.empty());
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(MainWindowTest, TabVisitsTheControlsInTheirOrderAndSkipsTheView) {
  MainWindow window(desktop_);
  const std::vector<QWidget*> expected = {
      window.controls().load_button,        window.controls().zoom_button,
      window.controls().previous_button,    window.controls().next_button,
      window.controls().enforce_aspect_box, window.controls().quit_button,
      window.controls().print_button,       window.controls().convert_button,
      window.controls().actual_size_box};
  std::vector<QWidget*> visited;
  QWidget* w = window.controls().load_button;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&window)) visited.push_back(w);
    w = w->nextInFocusChain();
  } while (w != window.controls().load_button && visited.size() <= expected.size());
  EXPECT_EQ(visited, expected);
}

TEST_F(MainWindowTest, ASelectionOpensItsFirstFileInSortedOrder) {
  MakeWindow(400, 300);
  const std::string b = WriteImage("b.png", 4, 4, Pattern);
  const std::string a = WriteImage("A.bmp", 4, 4, Pattern);
  const std::string c = WriteImage("c.bmp", 4, 4, Pattern);
  OpenThroughDialog({c, b, a});

  ASSERT_EQ(desktop_.open_requests.size(), 1u);
  EXPECT_EQ(desktop_.open_requests[0].title, "Load an Image :-");
  EXPECT_EQ(window_->files().Count(), 3);
  EXPECT_EQ(window_->current_index(), 0);
  EXPECT_EQ(Caption().rfind("1/3 " + a + "  ", 0), 0u) << Caption();
  EXPECT_FALSE(window_->controls().previous_button->isEnabled());
  EXPECT_TRUE(window_->controls().next_button->isEnabled());
  EXPECT_TRUE(window_->controls().zoom_button->isEnabled());
  EXPECT_TRUE(window_->controls().print_button->isEnabled());
  EXPECT_EQ(ApplicationTitle(), "A.BMP");
  EXPECT_FALSE(window_->loading());

  // A cancelled dialog changes nothing.
  window_->OpenFiles();
  EXPECT_EQ(window_->files().Count(), 3);
  EXPECT_EQ(Caption().rfind("1/3 ", 0), 0u);
}

TEST_F(MainWindowTest, FilesDroppedOnTheWindowOpenAsASelection) {
  MakeWindow(400, 300);
  const std::string b = WriteImage("b.png", 4, 4, Pattern);
  // A name that is not valid UTF-8 must load by its bytes.
  const std::string odd = WriteImage("a\xff.bmp", 4, 4, Pattern);
  // As a file manager sends it, the odd byte percent-encoded.
  QMimeData data;
  data.setData("text/uri-list", "file://" + QByteArray::fromStdString(b).toPercentEncoding("/") +
                                    "\r\nhttps://example.com/x.png\r\nfile://" +
                                    QByteArray::fromStdString(odd).toPercentEncoding("/") + "\r\n");
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  enter.setAccepted(false);
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  WaitForLoad();
  window_->AttachPointerReadout();

  EXPECT_TRUE(desktop_.open_requests.empty());
  EXPECT_TRUE(desktop_.messages.empty());
  ASSERT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(window_->files()[0], odd);
  EXPECT_EQ(Caption().rfind("1/2 ", 0), 0u) << Caption();
  EXPECT_TRUE(window_->controls().next_button->isEnabled());
  EXPECT_FALSE(window_->loading());

  // Only web addresses: not taken.
  QMimeData web;
  web.setUrls({QUrl("https://example.com/x.png")});
  QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QApplication::sendEvent(window_.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainWindowTest, AFileThatFailsIsReportedDroppedAndTheOneBeforeShown) {
  MakeWindow(400, 300);
  std::vector<std::string> paths;
  for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"})
    paths.push_back(WriteImage(name, 3, 2, Pattern));
  const std::string broken = WriteBytes("3.png", "\x89PNG\r\n\x1a\n but nothing more");
  paths.push_back(broken);
  OpenThroughDialog(paths);

  window_->ShowNext();

  WaitForLoad();
  window_->ShowNext();  // the third fails
  WaitForLoad();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text.rfind("Error Opening " + broken + "\n", 0), 0u);
  EXPECT_GT(desktop_.messages[0].text.size(), ("Error Opening " + broken + "\n").size());
  EXPECT_EQ(window_->files().Count(), 4);
  EXPECT_EQ(window_->current_index(), 1);
  EXPECT_EQ(Caption().rfind("2/4 " + paths[1] + "  ", 0), 0u) << Caption();
  EXPECT_TRUE(window_->controls().next_button->isEnabled());
}

TEST_F(MainWindowTest, AFileThatFailsFirstLeavesTheWindowAsItWas) {
  MakeWindow(400, 300);
  const std::string broken = WriteBytes("bad.jpg", "not a jpeg at all");
  OpenThroughDialog({broken});
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(window_->files().Count(), 0);
  EXPECT_EQ(Caption(), "Zelk Lossless Image Zoomer");
  EXPECT_FALSE(window_->controls().zoom_button->isEnabled());
  // Resizing and toggling afterwards read no missing entry.
  ResizeView(300, 200);
  window_->controls().actual_size_box->click();
  EXPECT_EQ(Caption(), "Zelk Lossless Image Zoomer");
}

TEST_F(MainWindowTest, AFileThatHasGoneIsDroppedSilently) {
  MakeWindow(400, 300);
  const std::string first = WriteImage("a.bmp", 3, 2, Pattern);
  const std::string second = WriteImage("b.bmp", 3, 2, Pattern);
  OpenThroughDialog({first, second});
  std::filesystem::remove(second);
  window_->ShowNext();
  WaitForLoad();
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(window_->files().Count(), 1);
  EXPECT_EQ(window_->current_index(), 0);
  EXPECT_EQ(Caption().rfind("1/1 " + first + "  ", 0), 0u) << Caption();
  EXPECT_FALSE(window_->controls().next_button->isEnabled());
}

TEST_F(MainWindowTest, PreviousAndNextStopAtTheEnds) {
  MakeWindow(400, 300);
  // "[*]" is Qt's modified marker in a title; a file name shows it literally.
  const std::string a = WriteImage("a[*].bmp", 2, 2, Pattern);
  const std::string b = WriteImage("b.bmp", 2, 2, Pattern);
  OpenThroughDialog({a, b});
  window_->ShowPrevious();
  WaitForLoad();
  EXPECT_EQ(window_->current_index(), 0);
  window_->ShowNext();
  WaitForLoad();
  window_->ShowNext();
  WaitForLoad();
  EXPECT_EQ(window_->current_index(), 1);
  EXPECT_EQ(Caption().rfind("2/2 " + b, 0), 0u);
  EXPECT_TRUE(window_->controls().previous_button->isEnabled());
  EXPECT_FALSE(window_->controls().next_button->isEnabled());
  window_->ShowPrevious();
  WaitForLoad();
  EXPECT_EQ(Caption().rfind("1/2 " + a + "  ", 0), 0u) << Caption();
}

TEST_F(MainWindowTest, TheCommandLineOpensTheNamedFileAmongItsFolder) {
  const std::string a = WriteImage("a.PNG", 2, 2, Pattern);
  const std::string b = WriteImage("b.jpg", 2, 2, Pattern);
  WriteBytes("c.gif", "GIF89a");
  WriteBytes("notes.txt", "text");
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", "b.jpg"});
  MakeWindow(400, 300);
  window_->OpenCommandLineArgument();
  WaitForLoad();
  EXPECT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(window_->files()[0], a);
  EXPECT_EQ(window_->current_index(), 1);
  EXPECT_EQ(Caption().rfind("2/2 " + b + "  ", 0), 0u) << Caption();
  EXPECT_TRUE(window_->controls().previous_button->isEnabled());
  EXPECT_FALSE(window_->controls().next_button->isEnabled());
  EXPECT_EQ(std::filesystem::current_path(), dir_);
}

TEST_F(MainWindowTest, TheCommandLineWithAFolderOrAMissingNameShowsTheFirstImage) {
  const std::string a = WriteImage("a.bmp", 2, 2, Pattern);
  WriteImage("b.bmp", 2, 2, Pattern);
  for (const std::string& argument : {dir_.string(), dir_.string() + "/",
                                      dir_.string() + "/nope.png", dir_.string() + "/*.png"}) {
    testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", argument});
    MakeWindow(300, 200);
    window_->OpenCommandLineArgument();
    WaitForLoad();
    EXPECT_EQ(window_->files().Count(), 2) << argument;
    EXPECT_EQ(Caption().rfind("1/2 " + a + "  ", 0), 0u) << argument << ": " << Caption();
  }
  // A "+" in front stays in front of the expanded path, whose folder does not exist.
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", "+" + a});
  MakeWindow(300, 200);
  window_->OpenCommandLineArgument();
  WaitForLoad();
  EXPECT_EQ(window_->files().Count(), 0);
  EXPECT_TRUE(desktop_.messages.empty());
}

}  // namespace
}  // namespace zelk
