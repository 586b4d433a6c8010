#include <QApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QUrl>

#include "core/window_size.h"
#include "form_fixture.h"
#include "support/support.h"

namespace zelk {
namespace {

TEST_F(FormTest, OpensWithTheScreensSizeAndOnlyLoadAndConvertEnabled) {
  TForm1 form(desktop_);
  form.Timer1->stop();
  const QSize screen = QGuiApplication::primaryScreen()->size();
  const WindowSize expected = InitialWindowSize(screen.width(), screen.height(), {622, 422});
  EXPECT_EQ(form.width(), expected.width);
  EXPECT_EQ(form.height(), expected.height);
  EXPECT_EQ(form.windowTitle().toStdString(), "Zelk Lossless Image Zoomer");
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_FALSE(form.Button2->isEnabled());
  EXPECT_FALSE(form.prvimg->isEnabled());
  EXPECT_FALSE(form.nxtimg->isEnabled());
  EXPECT_TRUE(form.Button3->isEnabled());
  EXPECT_TRUE(form.Button5->isEnabled());
  EXPECT_TRUE(form.CheckBox1->isChecked());
  EXPECT_FALSE(form.CheckBox2->isChecked());
  EXPECT_TRUE(form.Loading);
  EXPECT_EQ(form.ViewScale, -1.0);

  // Before any image: toggling actual size, zooming, converting and the right-click
  // commands divide nothing by zero and read no missing entry.
  form.show();
  form.CheckBox2->click();
  form.CheckBox2->click();
  form.Button1Click();
  form.Button5Click();
  EXPECT_FALSE(form.Button5ContextPopup());
  form.Button3ContextPopup();
  EXPECT_EQ(form.windowTitle().toStdString(), "Zelk Lossless Image Zoomer");
  EXPECT_TRUE(desktop_.save_requests.empty());
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(FormTest, TabVisitsTheControlsInTheirOrderAndSkipsTheView) {
  TForm1 form(desktop_);
  form.Timer1->stop();
  const std::vector<QWidget*> expected = {form.Button3, form.Button1,   form.prvimg,
                                          form.nxtimg,  form.CheckBox1, form.Button4,
                                          form.Button2, form.Button5,   form.CheckBox2};
  std::vector<QWidget*> visited;
  QWidget* w = form.Button3;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&form)) visited.push_back(w);
    w = w->nextInFocusChain();
  } while (w != form.Button3 && visited.size() <= expected.size());
  EXPECT_EQ(visited, expected);
}

TEST_F(FormTest, ASelectionOpensItsFirstFileInSortedOrder) {
  MakeForm(400, 300);
  const std::string b = WriteImage("b.png", 4, 4, Pattern);
  const std::string a = WriteImage("A.bmp", 4, 4, Pattern);
  const std::string c = WriteImage("c.bmp", 4, 4, Pattern);
  OpenThroughDialog({c, b, a});

  ASSERT_EQ(desktop_.open_requests.size(), 1u);
  EXPECT_EQ(desktop_.open_requests[0].title, "Load an Image :-");
  EXPECT_EQ(form_->FileList.Count(), 3);
  EXPECT_EQ(form_->FileIndex, 0);
  EXPECT_EQ(Caption().rfind("1/3 " + a + "  ", 0), 0u) << Caption();
  EXPECT_FALSE(form_->prvimg->isEnabled());
  EXPECT_TRUE(form_->nxtimg->isEnabled());
  EXPECT_TRUE(form_->Button1->isEnabled());
  EXPECT_TRUE(form_->Button2->isEnabled());
  EXPECT_EQ(ApplicationTitle(), "A.BMP");
  EXPECT_FALSE(form_->Loading);

  // A cancelled dialog changes nothing.
  form_->Button3Click();
  EXPECT_EQ(form_->FileList.Count(), 3);
  EXPECT_EQ(Caption().rfind("1/3 ", 0), 0u);
}

TEST_F(FormTest, FilesDroppedOnTheWindowOpenAsASelection) {
  MakeForm(400, 300);
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
  QApplication::sendEvent(form_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form_.get(), &drop);
  form_->Timer3Timer();

  EXPECT_TRUE(desktop_.open_requests.empty());
  EXPECT_TRUE(desktop_.messages.empty());
  ASSERT_EQ(form_->FileList.Count(), 2);
  EXPECT_EQ(form_->FileList[0], odd);
  EXPECT_EQ(Caption().rfind("1/2 ", 0), 0u) << Caption();
  EXPECT_TRUE(form_->nxtimg->isEnabled());
  EXPECT_FALSE(form_->Loading);

  // Only web addresses: not taken.
  QMimeData web;
  web.setUrls({QUrl("https://example.com/x.png")});
  QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QApplication::sendEvent(form_.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(FormTest, AFileThatFailsIsReportedDroppedAndTheOneBeforeShown) {
  MakeForm(400, 300);
  std::vector<std::string> paths;
  for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"})
    paths.push_back(WriteImage(name, 3, 2, Pattern));
  const std::string broken = WriteBytes("3.png", "\x89PNG\r\n\x1a\n but nothing more");
  paths.push_back(broken);
  OpenThroughDialog(paths);

  form_->nxtimgClick();
  form_->nxtimgClick();  // the third fails
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text.rfind("Error Opening " + broken + "\n", 0), 0u);
  EXPECT_GT(desktop_.messages[0].text.size(), ("Error Opening " + broken + "\n").size());
  EXPECT_EQ(form_->FileList.Count(), 4);
  EXPECT_EQ(form_->FileIndex, 1);
  EXPECT_EQ(Caption().rfind("2/4 " + paths[1] + "  ", 0), 0u) << Caption();
  EXPECT_TRUE(form_->nxtimg->isEnabled());
}

TEST_F(FormTest, AFileThatFailsFirstLeavesTheWindowAsItWas) {
  MakeForm(400, 300);
  const std::string broken = WriteBytes("bad.jpg", "not a jpeg at all");
  OpenThroughDialog({broken});
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(form_->FileList.Count(), 0);
  EXPECT_EQ(Caption(), "Zelk Lossless Image Zoomer");
  EXPECT_FALSE(form_->Button1->isEnabled());
  // Resizing and toggling afterwards read no missing entry.
  ResizeView(300, 200);
  form_->CheckBox2->click();
  EXPECT_EQ(Caption(), "Zelk Lossless Image Zoomer");
}

TEST_F(FormTest, AFileThatHasGoneIsDroppedSilently) {
  MakeForm(400, 300);
  const std::string first = WriteImage("a.bmp", 3, 2, Pattern);
  const std::string second = WriteImage("b.bmp", 3, 2, Pattern);
  OpenThroughDialog({first, second});
  std::filesystem::remove(second);
  form_->nxtimgClick();
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(form_->FileList.Count(), 1);
  EXPECT_EQ(form_->FileIndex, 0);
  EXPECT_EQ(Caption().rfind("1/1 " + first + "  ", 0), 0u) << Caption();
  EXPECT_FALSE(form_->nxtimg->isEnabled());
}

TEST_F(FormTest, PreviousAndNextStopAtTheEnds) {
  MakeForm(400, 300);
  const std::string a = WriteImage("a.bmp", 2, 2, Pattern);
  const std::string b = WriteImage("b.bmp", 2, 2, Pattern);
  OpenThroughDialog({a, b});
  form_->prvimgClick();
  EXPECT_EQ(form_->FileIndex, 0);
  form_->nxtimgClick();
  form_->nxtimgClick();
  EXPECT_EQ(form_->FileIndex, 1);
  EXPECT_EQ(Caption().rfind("2/2 " + b, 0), 0u);
  EXPECT_TRUE(form_->prvimg->isEnabled());
  EXPECT_FALSE(form_->nxtimg->isEnabled());
}

TEST_F(FormTest, TheCommandLineOpensTheNamedFileAmongItsFolder) {
  const std::string a = WriteImage("a.PNG", 2, 2, Pattern);
  const std::string b = WriteImage("b.jpg", 2, 2, Pattern);
  WriteBytes("c.gif", "GIF89a");
  WriteBytes("notes.txt", "text");
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", "b.jpg"});
  MakeForm(400, 300);
  form_->Timer1Timer();
  EXPECT_EQ(form_->FileList.Count(), 2);
  EXPECT_EQ(form_->FileList[0], a);
  EXPECT_EQ(form_->FileIndex, 1);
  EXPECT_EQ(Caption().rfind("2/2 " + b + "  ", 0), 0u) << Caption();
  EXPECT_TRUE(form_->prvimg->isEnabled());
  EXPECT_FALSE(form_->nxtimg->isEnabled());
  EXPECT_EQ(std::filesystem::current_path(), dir_);
}

TEST_F(FormTest, TheCommandLineWithAFolderOrAMissingNameShowsTheFirstImage) {
  const std::string a = WriteImage("a.bmp", 2, 2, Pattern);
  WriteImage("b.bmp", 2, 2, Pattern);
  for (const std::string& argument : {dir_.string(), dir_.string() + "/",
                                      dir_.string() + "/nope.png", dir_.string() + "/*.png"}) {
    testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", argument});
    MakeForm(300, 200);
    form_->Timer1Timer();
    EXPECT_EQ(form_->FileList.Count(), 2) << argument;
    EXPECT_EQ(Caption().rfind("1/2 " + a + "  ", 0), 0u) << argument << ": " << Caption();
  }
  // A "+" in front stays in front of the expanded path, whose folder does not exist.
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", "+" + a});
  MakeForm(300, 200);
  form_->Timer1Timer();
  EXPECT_EQ(form_->FileList.Count(), 0);
  EXPECT_TRUE(desktop_.messages.empty());
}

}  // namespace
}  // namespace zelk
