#include "main_window_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWindow>
#include <fstream>
#include <random>

#include "app/qt_desktop.h"
#include "codecs/image_writer.h"
#include "qt_test_application.h"
#include "support/support.h"

namespace zelk {

void MainWindowTest::SetUp() {
  std::random_device random;
  dir_ = std::filesystem::temp_directory_path() / ("zelk-window-" + std::to_string(random()));
  std::filesystem::create_directories(dir_);
  old_cwd_ = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  SetNumberSeparators(",", ".");
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer"});
}

void MainWindowTest::TearDown() {
  window_.reset();
  std::filesystem::current_path(old_cwd_);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

MainWindow& MainWindowTest::MakeWindow(int view_w, int view_h) {
  window_ = std::make_unique<MainWindow>(desktop_);
  window_->show();
  ResizeView(view_w, view_h);
  return *window_;
}

void MainWindowTest::ResizeView(int view_w, int view_h) {
  // view_w x view_h are device pixels; the window is sized in logical ones.
  ImageView* view = window_->controls().view;
  view->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  QCoreApplication::processEvents();
  const QSize outside = window_->size() - view->size();
  const qreal ratio = view->devicePixelRatioF();
  const QSize wanted(static_cast<int>(view_w / ratio), static_cast<int>(view_h / ratio));
  // The window keeps a width that shows every control; a narrower view sits in it.
  if (wanted.width() + outside.width() < window_->minimumSizeHint().width())
    view->setMaximumWidth(wanted.width());
  window_->resize(wanted + outside);
  QCoreApplication::processEvents();
  ASSERT_EQ(window_->controls().view->DeviceWidth(), view_w);
  ASSERT_EQ(window_->controls().view->DeviceHeight(), view_h);
}

std::string MainWindowTest::WriteImage(const std::string& name, int w, int h,
                                       const std::function<std::uint32_t(int, int)>& colour) {
  Bitmap image;
  image.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.SetPixelRgb(x, y, colour(x, y));
  const std::string path = (dir_ / name).string();
  SaveImageFile(path, image);
  return path;
}

std::string MainWindowTest::WriteBytes(const std::string& name, const std::string& bytes) {
  const std::string path = (dir_ / name).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

void MainWindowTest::WaitForLoad() {
  QElapsedTimer waited;
  waited.start();
  while (window_->load_in_progress() && waited.elapsed() < 20000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_FALSE(window_->load_in_progress()) << "a load did not end within 20 s";
}

void MainWindowTest::OpenThroughDialog(const std::vector<std::string>& paths) {
  desktop_.open_answers.push_back(paths);
  window_->OpenFiles();
  WaitForLoad();
  window_->AttachPointerReadout();
}

void MainWindowTest::SendMouse(QWidget* target, QEvent::Type type, int x, int y,
                               Qt::MouseButton button, Qt::MouseButtons buttons) {
  const QPointF local(x, y);
  QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &event);
}

void MainWindowTest::Drag(QWidget* view, int x0, int y0, int x1, int y1) {
  SendMouse(view, QEvent::MouseButtonPress, x0, y0, Qt::LeftButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseMove, (x0 + x1) / 2, (y0 + y1) / 2, Qt::NoButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseMove, x1, y1, Qt::NoButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseButtonRelease, x1, y1, Qt::LeftButton, Qt::NoButton);
}

std::string MainWindowTest::Caption() const {
  // The title as the platform window carries it, after Qt's own processing.
  const QWindow* handle = window_->windowHandle();
  return QStringToPath(handle ? handle->title() : window_->windowTitle());
}

std::string MainWindowTest::StatusText() const {
  return QStringToPath(window_->controls().status_bar->currentMessage());
}

}  // namespace zelk
