// Sequences of ordinary actions that once broke what the window promises: each state
// has one owner now, and these hold the owners to it.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QWheelEvent>
#include <fstream>
#include <thread>

#include "../codecs/metafile_costly_files.h"
#include "app/command_table.h"
#include "app/inspector_panel.h"
#include "app/prompt_dialog.h"
#include "main_window_fixture.h"
#include "support/support.h"

namespace zelk {
namespace {

class WindowStateTest : public MainWindowTest {
 protected:
  std::string Solid(const std::string& name, std::uint32_t colour, int w = 40, int h = 30) {
    return WriteImage(name, w, h, [colour](int, int) { return colour; });
  }
  void Idle() { QCoreApplication::processEvents(); }
  void Wheel(int notches, int x, int y) {
    const QPointF at(x, y);
    QWheelEvent event(at, window_->controls().view->mapToGlobal(at), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(window_->controls().view, &event);
  }
};

TEST_F(WindowStateTest, AResizeDuringALoadRefitsTheImageShownWhateverTheLoadsEnd) {
  MakeWindow(200, 150);
  const std::string red = Solid("a.bmp", 0xFF0000);
  OpenThroughDialog({red, WriteBytes("b.bmp", "BM broken")});
  // Escape after the resize, then a failure after another.
  for (const bool escape : {true, false}) {
    window_->ShowNext();
    ResizeView(300, 250);
    if (escape) window_->Escape();
    WaitForLoad();
    const ViewImage& picture = window_->controls().view->Picture();
    EXPECT_EQ(picture.Width(), 300);
    EXPECT_EQ(picture.Height(), 250);
    EXPECT_EQ(picture.PixelRgb(299, 200), 0xFF0000u) << "escape " << escape;
    ResizeView(200, 150);
  }
}

TEST_F(WindowStateTest, AFailureBeforeAnEscapeIsStillReportedAndTheListGivenBack) {
  MakeWindow(200, 150);
  // Left from d onto a broken c steps back to b, large enough to be stopped.
  const std::vector<std::string> paths = {Solid("a.bmp", 0x0000FF),
                                          WriteImage("b.png", 3000, 2000, Pattern),
                                          Solid("c.bmp", 0xFF0000), Solid("d.bmp", 0x00FF00)};
  OpenThroughDialog(paths);
  for (int i = 0; i < 3; ++i) window_->ShowNext(), WaitForLoad();
  WriteBytes("c.bmp", "BM broken");
  window_->ShowPrevious();
  QElapsedTimer waited;
  waited.start();
  while (window_->files().IndexOf(paths[2]) >= 0 && waited.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  ASSERT_TRUE(window_->load_in_progress());
  window_->Escape();
  WaitForLoad();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text.rfind("Error Opening " + paths[2], 0), 0u);
  // d stays shown, among the list as it was less the broken file.
  EXPECT_EQ(window_->image().PixelRgb(0, 0), 0x00FF00u);
  EXPECT_EQ(Caption().rfind("3/3 " + paths[3], 0), 0u) << Caption();

  // Escape during the first load of a new selection gives the old list back.
  window_->OpenSelection({WriteImage("zbig.png", 3000, 2000, Pattern)});
  window_->Escape();
  WaitForLoad();
  EXPECT_EQ(window_->files().Count(), 3);
  EXPECT_EQ(Caption().rfind("3/3 " + paths[3], 0), 0u) << Caption();
}

TEST_F(WindowStateTest, CommandsDuringALoadRunOnTheNewImageOrNotAtAll) {
  MakeWindow(200, 150);
  OpenThroughDialog({Solid("a.bmp", 0x0000FF), Solid("b.bmp", 0xF5F5F5)});
  // Zoom In, then a confirmed colour replacement, while b loads: both act on b.
  window_->ShowNext();
  ASSERT_TRUE(window_->load_in_progress());
  window_->ToggleZoom();
  WaitForLoad();
  EXPECT_TRUE(window_->zoomed());
  window_->ShowPrevious();
  window_->ShowNext();
  QTimer confirm;
  QObject::connect(&confirm, &QTimer::timeout, [] {
    if (SharedPromptDialog().isVisible()) SharedPromptDialog().controls().ok_button->click();
  });
  confirm.start(5);
  desktop_.colour_answers.push_back(0x102030);
  window_->ReplaceColourRanges();
  EXPECT_TRUE(desktop_.colour_requests.empty()) << "the dialog opened during the load";
  WaitForLoad();
  EXPECT_EQ(window_->image().PixelRgb(0, 0), 0x102030u);  // b's white-ish replaced
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(10, 10), 0x102030u);

  // Escape drops what waited, with a word, and runs none of it.
  window_->ShowPrevious();
  window_->Print();
  window_->Escape();
  WaitForLoad();
  EXPECT_NE(StatusText().find("Print was not run"), std::string::npos) << StatusText();
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(WindowStateTest, NextIsNotOfferedForAOneFileSelectionWhileItLoads) {
  MakeWindow(200, 150);
  desktop_.open_answers.push_back({Solid("a.bmp", 0x0000FF)});
  window_->OpenFiles();
  ASSERT_TRUE(window_->load_in_progress());
  EXPECT_FALSE(window_->controls().next_button->isEnabled());
  EXPECT_FALSE(window_->controls().previous_button->isEnabled());
  // Convert during that load asks for a name once the image is shown.
  desktop_.save_answers.push_back(std::nullopt);
  window_->ConvertCurrentFile();
  WaitForLoad();
  EXPECT_EQ(desktop_.save_requests.size(), 1u);
}

TEST_F(WindowStateTest, NextOntoAFileThatHasGoneDropsItAndKeepsTheImageShown) {
  MakeWindow(200, 150);
  const std::vector<std::string> paths = {Solid("a.bmp", 0x0000FF), Solid("b.bmp", 0x00FF00),
                                          Solid("c.bmp", 0xFF0000)};
  OpenThroughDialog(paths);
  std::filesystem::remove(paths[1]);
  window_->ShowNext();
  WaitForLoad();
  EXPECT_EQ(window_->image().PixelRgb(0, 0), 0x0000FFu);
  EXPECT_EQ(Caption().rfind("1/2 " + paths[0], 0), 0u) << Caption();
}

TEST_F(WindowStateTest, SpacePressesTheFocusedButtonAndStillPansOverTheView) {
  MakeWindow(200, 150);
  OpenThroughDialog({Solid("a.bmp", 0x0000FF, 400, 300)});
  window_->activateWindow();
  QPushButton* zoom = window_->controls().zoom_button;
  zoom->setFocus();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  QCoreApplication::sendEvent(zoom, &press);
  QCoreApplication::sendEvent(zoom, &release);
  EXPECT_TRUE(window_->zoomed()) << "Space did not press the focused button";
  // Clicking a button does not take the focus from the view's keys.
  EXPECT_EQ(window_->controls().print_button->focusPolicy(), Qt::TabFocus);
}

TEST_F(WindowStateTest, TheInspectorDescribesTheImageShownAndThePointersPixel) {
  MakeWindow(200, 150);
  OpenThroughDialog({Solid("a.bmp", 0x0000FF), Solid("b.bmp", 0x00FF00)});
  SendMouse(window_->controls().view, QEvent::MouseMove, 20, 20, Qt::NoButton, Qt::NoButton);
  window_->ToggleInspector();
  // Named at once, without a move.
  const auto panel_text = [this] {
    QString text;
    for (const QLabel* label : window_->controls().inspector->findChildren<QLabel*>())
      text += label->text() + "\n";
    return text.toStdString();
  };
  EXPECT_EQ(panel_text().find("not over the image"), std::string::npos) << panel_text();
  QElapsedTimer waited;
  waited.start();
  while (!window_->inspector_stats() && waited.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  ASSERT_TRUE(window_->inspector_stats());
  // Right to an image of the same size: the figures are counted again, for it.
  window_->ShowNext();
  WaitForLoad();
  waited.restart();
  while (!window_->inspector_stats() && waited.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  ASSERT_TRUE(window_->inspector_stats());
  EXPECT_EQ(window_->inspector_stats()->green.mean, 255.0);
  EXPECT_EQ(window_->inspector_stats()->blue.mean, 0.0);
}

TEST_F(WindowStateTest, TheReadoutFollowsAViewChangeUnderAStillPointer) {
  MakeWindow(200, 150);
  OpenThroughDialog({WriteImage("p.png", 100, 75, Pattern)});
  SendMouse(window_->controls().view, QEvent::MouseMove, 150, 100, Qt::NoButton, Qt::NoButton);
  const std::string before = StatusText();
  window_->ZoomInStep();
  const SourcePoint now = window_->viewport().PixelAt(150, 100);
  EXPECT_NE(StatusText(), before);
  EXPECT_NE(
      StatusText().find("[X: " + std::to_string(now.X) + " Y: " + std::to_string(now.Y) + "]"),
      std::string::npos)
      << StatusText();
  // The wheel, then a left drag: the zoomed view pans.
  Wheel(+2, 100, 75);
  const SourcePoint under = window_->viewport().PixelAt(100, 75);
  Drag(window_->controls().view, 100, 75, 60, 50);
  EXPECT_EQ(window_->viewport().PixelAt(60, 50), under);
}

TEST_F(WindowStateTest, EscapeStopsASlowMetafilesPlayback) {
  MakeWindow(200, 150);
  const test::Bytes slow = test::SlowButFairDrawing();  // about two seconds of drawing
  desktop_.open_answers.push_back({WriteBytes("slow.emf", std::string(slow.begin(), slow.end()))});
  window_->OpenFiles();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(window_->load_in_progress());
  window_->Escape();
  EXPECT_FALSE(window_->load_in_progress());
  // The window waits for the stopped decode's thread as it goes: that ends at once
  // only when the playback looked at the cancel.
  const auto closing = std::chrono::steady_clock::now();
  window_.reset();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - closing).count();
  EXPECT_LT(seconds, 1.5);  // a hang catch: measured in milliseconds, printed below
  std::printf("playback ended %.1f ms after the window went\n", seconds * 1000);
}

TEST_F(WindowStateTest, ACommandLineWithNoImageShowsTheEmptyViewsHint) {
  std::filesystem::create_directories(dir_ / "cursors");
  const std::string cursor = (dir_ / "cursors" / "pointer.cur").string();
  std::ofstream(cursor) << "not an image this viewer lists";
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer", cursor});
  MakeWindow(200, 150);
  window_->OpenCommandLineArgument();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_->controls().view->Hint().isEmpty());
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(WindowStateTest, ASmallWindowKeepsEveryControlInSight) {
  MakeWindow(200, 150);
  window_->resize(300, 200);
  QCoreApplication::processEvents();
  const MainWindow::Controls& controls = window_->controls();
  const QRect panel = controls.top_panel->rect();
  for (QWidget* control : controls.top_panel->findChildren<QAbstractButton*>())
    EXPECT_TRUE(panel.contains(control->geometry())) << control->objectName().toStdString();
  EXPECT_LE(controls.actual_size_box->geometry().right(), controls.convert_button->x());
  EXPECT_LE(controls.enforce_aspect_box->geometry().right(), controls.convert_button->x());
}

TEST_F(WindowStateTest, HelpListsEveryCommandOfTheTableAndTheReadmeNamesThem) {
  MakeWindow(200, 150);
  window_->ShowKeysAndGestures();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  const std::string help = desktop_.messages[0].text;
  std::ifstream readme_file(std::string(ZELK_SOURCE_DIR) + "/README.md");
  const std::string readme((std::istreambuf_iterator<char>(readme_file)),
                           std::istreambuf_iterator<char>());
  // Every command has its row (a command without one would have no keys and no rule).
  for (int id = 0; id <= static_cast<int>(CommandId::kDropToCompare); ++id)
    EXPECT_NO_THROW(Command(static_cast<CommandId>(id))) << id;
  for (const CommandSpec& spec : CommandTable()) {
    EXPECT_NE(help.find(std::string(spec.how) + ": " + spec.help), std::string::npos) << spec.how;
    const std::string row = std::string("| ") + spec.how + " | " + spec.help + " |";
    EXPECT_NE(readme.find(row), std::string::npos) << "README lacks the row " << row;
  }
  // No line so long that the message box wraps a word onto a line of its own (it
  // wrapped one of 62 characters at a scale factor of 2).
  std::size_t start = 0;
  while (start < help.size()) {
    const std::size_t end = std::min(help.find('\n', start), help.size());
    EXPECT_LE(end - start, 56u) << help.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
}  // namespace zelk
