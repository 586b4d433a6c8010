// MainWindow: loading images, the command line at start, previous and next.

#include <filesystem>

#include "app/main_window.h"
#include "codecs/image_formats.h"
#include "codecs/image_loader.h"
#include "core/files/file_spec.h"
#include "core/files/folder_scan.h"
#include "core/files/paths.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
FileDialogRequest OpenDialogRequest(const std::string& initial_dir) {
  FileDialogRequest request;
  request.title = "Load an Image :-";
  request.filters = PictureFileFilters();
  request.initial_dir = initial_dir;
  return request;
}
}  // namespace

void MainWindow::OpenFiles() {
  std::vector<std::string> chosen =
      desktop_.ChooseFilesToOpen(OpenDialogRequest(open_dialog_initial_dir_));
  if (chosen.empty()) return;
  // A confirmed dialog leaves the current directory in the chosen folder (pasted
  // images are named there).
  ChangeCurrentFolder(PathPart(chosen.front()));
  files_.Assign(std::move(chosen));
  LoadEntry(0);
}

void MainWindow::OpenSelection(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  ChangeCurrentFolder(PathPart(paths.front()));
  files_.Assign(paths);
  LoadEntry(0);
}

void MainWindow::LoadEntry(int index) {
  file_index_ = index;
  UpdateNavButtons();
  if (!HasCurrentEntry()) return;
  const std::string path = files_[file_index_];

  if (!FileExistsRetrying(path)) {
    // A file that has gone is dropped silently; the view keeps the previous image.
    files_.Delete(file_index_);
    file_index_ -= 1;
    UpdateNavButtons();
    RenderView();
    return;
  }

  controls_.view->mouse_move_attached = false;
  loading_ = true;
  // Decoded into a bitmap of its own, so a file that fails leaves the current image
  // whole (the view, the zoom and the readout keep working on it).
  Bitmap decoded;
  try {
    LoadImageFile(path, decoded);
  } catch (const std::exception& e) {
    ReportMessage("Error Opening " + path + "\n" + e.what());
    files_.Delete(file_index_);
    UpdateNavButtons();
    loading_ = image_.Empty();
    readout_delay_timer_->start();
    if (file_index_ > 0) LoadEntry(file_index_ - 1);
    return;
  }
  image_ = std::move(decoded);
  zoom_box_ = {};
  RenderView();
  controls_.zoom_button->setEnabled(true);
  controls_.print_button->setEnabled(true);
  SetApplicationTitle(UpperCaseText(FileNamePart(path)));
  loading_ = false;
  readout_delay_timer_->start();
  if (controls_.actual_size_box->isChecked() && (image_.Height() > controls_.view->DeviceHeight() ||
                                                 image_.Width() > controls_.view->DeviceWidth()))
    ToggleZoom();
}

void MainWindow::OpenCommandLineArgument() {
  startup_timer_->stop();
  file_index_ = 0;
  const std::string argument = CommandLineArgument(1);
  if (argument.empty()) return;
  const std::string spec = ExpandFileSpec(argument);
  const std::string folder = PathPart(spec);
  std::error_code error;
  if (folder.empty() || !std::filesystem::is_directory(folder, error)) return;
  ChangeCurrentFolder(folder);
  ScanFolderImages(folder, IsListedImageExtension, files_);
  if (files_.Empty()) return;
  const int index = files_.IndexOf(spec);
  open_dialog_initial_dir_ = folder;
  LoadEntry(index < 0 ? 0 : index);
}

void MainWindow::ShowPrevious() {
  if (file_index_ <= 0) return;
  LoadEntry(file_index_ - 1);
}

void MainWindow::ShowNext() {
  if (file_index_ >= files_.Count() - 1) return;
  LoadEntry(file_index_ + 1);
}

}  // namespace zelk
