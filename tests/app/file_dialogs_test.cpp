// The Qt file dialogs as the desktop opens them: where they start and how their filters
// read.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <filesystem>

#include "../support/temp_folder.h"
#include "app/qt_desktop.h"
#include "codecs/image_formats.h"
#include "qt_test_application.h"

namespace zelk {
namespace {

// Runs check on the file dialog once it is open (the toolkit's own, not the system's).
void WhenDialogOpens(const std::function<void(QFileDialog&)>& check) {
  QTimer::singleShot(50, [check] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    check(*dialog);
  });
}

TEST(FileDialogs, StartInTheGivenFolderAndShowEachFilterOnce) {
  QtDesktop desktop;
  test::TempFolder folder;
  FileDialogRequest request;
  request.title = "Load an Image :-";
  request.filters = PictureFileFilters();
  request.initial_dir = folder.Path();
  QStringList shown;
  QString started_in;
  WhenDialogOpens([&](QFileDialog& dialog) {
    started_in = dialog.directory().absolutePath();
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
    dialog.reject();
  });
  EXPECT_TRUE(desktop.ChooseFilesToOpen(request).empty());
  EXPECT_EQ(started_in.toStdString() + "/",
            std::filesystem::path(folder.Path()).lexically_normal().string());
  ASSERT_EQ(shown.size(), 7);
  EXPECT_EQ(shown[0].trimmed(), "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.png)");
  EXPECT_EQ(shown[1].trimmed(), "JPEG Image File (*.jpg;*.jpeg)");
}

}  // namespace
}  // namespace zelk
