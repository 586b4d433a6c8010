#include "form_fixture.h"

#include <QCoreApplication>
#include <fstream>
#include <random>

#include "app/qt_desktop.h"
#include "codecs/image_writer.h"
#include "qt_test_application.h"
#include "support/support.h"

namespace zelk {

void FormTest::SetUp() {
  std::random_device random;
  dir_ = std::filesystem::temp_directory_path() / ("zelk-form-" + std::to_string(random()));
  std::filesystem::create_directories(dir_);
  old_cwd_ = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  SetNumberSeparators(",", ".");
  testing::SetCommandLineForTesting({"/opt/zelk/zelkzoomer"});
}

void FormTest::TearDown() {
  form_.reset();
  std::filesystem::current_path(old_cwd_);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

TForm1& FormTest::MakeForm(int view_w, int view_h) {
  form_ = std::make_unique<TForm1>(desktop_);
  form_->Timer1->stop();
  form_->show();
  ResizeView(view_w, view_h);
  return *form_;
}

void FormTest::ResizeView(int view_w, int view_h) {
  const QSize outside = form_->size() - form_->Image1->size();
  form_->resize(view_w + outside.width(), view_h + outside.height());
  QCoreApplication::processEvents();
  ASSERT_EQ(form_->Image1->DeviceWidth(), view_w);
  ASSERT_EQ(form_->Image1->DeviceHeight(), view_h);
}

std::string FormTest::WriteImage(const std::string& name, int w, int h,
                                 const std::function<std::uint32_t(int, int)>& colour) {
  Bitmap image;
  image.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.SetPixelRgb(x, y, colour(x, y));
  const std::string path = (dir_ / name).string();
  SaveImageFile(path, image);
  return path;
}

std::string FormTest::WriteBytes(const std::string& name, const std::string& bytes) {
  const std::string path = (dir_ / name).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

void FormTest::OpenThroughDialog(const std::vector<std::string>& paths) {
  desktop_.open_answers.push_back(paths);
  form_->Button3Click();
  form_->Timer3Timer();
}

std::string FormTest::Caption() const {
  return QStringToPath(form_->windowTitle());
}

std::string FormTest::StatusText() const {
  return QStringToPath(form_->StatusBar1->currentMessage());
}

}  // namespace zelk
