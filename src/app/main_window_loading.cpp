// MainWindow: loading images, the command line at start, previous and next. Every
// decode runs on a thread of its own (DecodeJob); the window takes the bitmap only
// once it is complete, so the image shown, the caption and the list position always
// describe the same file.

#include <QTimer>
#include <filesystem>

#include "app/decode_job.h"
#include "app/main_window.h"
#include "app/qt_desktop.h"
#include "codecs/image_formats.h"
#include "core/files/file_spec.h"
#include "core/files/folder_scan.h"
#include "core/files/paths.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {

// The current folder: where each confirmed file dialog left it.
std::string CurrentFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string() : folder.string();
}

FileDialogRequest OpenDialogRequest() {
  FileDialogRequest request;
  request.title = "Load an Image :-";
  request.filters = PictureFileFilters();
  request.initial_dir = CurrentFolder();
  return request;
}

// After this long a load shows its progress in the status bar.
constexpr int kProgressDelayMs = 150;
constexpr int kProgressIntervalMs = 100;

}  // namespace

void MainWindow::OpenFiles() {
  if (DeferWhileBusy([this] { OpenFiles(); })) return;
  const CommandScope scope(*this);
  std::vector<std::string> chosen = desktop_.ChooseFilesToOpen(OpenDialogRequest());
  if (chosen.empty()) return;
  // A confirmed dialog leaves the current directory in the chosen folder (pasted
  // images are named there).
  ChangeCurrentFolder(PathPart(chosen.front()));
  files_.Assign(std::move(chosen));
  SelectShownEntry();
  StartLoad(0, +1);
}

void MainWindow::OpenSelection(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (DeferWhileBusy([this, paths] { OpenSelection(paths); })) return;
  const CommandScope scope(*this);
  ChangeCurrentFolder(PathPart(paths.front()));
  files_.Assign(paths);
  SelectShownEntry();
  StartLoad(0, +1);
}

void MainWindow::StartOpeningCommandLineArgument() {
  // As soon as the window is up: a decode started by main is already under way.
  QTimer::singleShot(0, this, [this] { RunGuarded([this] { OpenCommandLineArgument(); }); });
}

void MainWindow::AdoptEarlyDecode(std::unique_ptr<DecodeJob> job) {
  early_job_ = std::move(job);
}

void MainWindow::OpenCommandLineArgument() {
  if (DeferWhileBusy([this] { OpenCommandLineArgument(); })) return;
  const CommandScope scope(*this);
  // A decode started before the window existed is used below or not at all.
  std::unique_ptr<DecodeJob> early = std::move(early_job_);
  const std::string argument = FileArgument();
  if (argument.empty()) return;
  const std::string spec = ExpandFileSpec(argument);
  const std::string folder = PathPart(spec);
  std::error_code error;
  if (folder.empty() || !std::filesystem::is_directory(folder, error)) return;
  ChangeCurrentFolder(folder);
  ScanFolderImages(folder, IsListedImageExtension, files_);
  SelectShownEntry();
  if (files_.Empty()) return;
  const int index = files_.IndexOf(spec);
  early_job_ = std::move(early);
  StartLoad(index < 0 ? 0 : index, +1);
  early_job_.reset();
}

int MainWindow::NavigationIndex() const {
  if (load_job_) return files_.IndexOf(load_job_->path());
  return file_index_;
}

void MainWindow::ShowPrevious() {
  if (DeferWhileBusy([this] { ShowPrevious(); })) return;
  const CommandScope scope(*this);
  const int index = NavigationIndex();
  if (index <= 0) return;
  StartLoad(index - 1, -1);
}

void MainWindow::ShowNext() {
  if (DeferWhileBusy([this] { ShowNext(); })) return;
  const CommandScope scope(*this);
  const int index = NavigationIndex();
  if (index < 0 || index >= files_.Count() - 1) return;
  StartLoad(index + 1, +1);
}

void MainWindow::SelectShownEntry() {
  file_index_ = shown_path_.empty() ? -1 : files_.IndexOf(shown_path_);
  UpdateNavButtons();
}

void MainWindow::KeepShownImageListed() {
  // A new list of which nothing could be shown: the image still shown joins it, so
  // the caption names a listed file.
  if (!shown_path_.empty() && files_.IndexOf(shown_path_) < 0) files_.Add(shown_path_);
  SelectShownEntry();
}

void MainWindow::StartLoad(int index, int direction) {
  SupersedeLoad();
  // An entry whose file has gone is dropped silently, and the next one in the
  // direction of travel is tried; the view keeps the image it shows.
  while (index >= 0 && index < files_.Count()) {
    const std::string path = files_[index];
    if (FileExistsRetrying(path)) break;
    files_.Delete(index);
    if (direction < 0) index -= 1;
  }
  SelectShownEntry();
  if (index < 0 || index >= files_.Count()) {
    KeepShownImageListed();
    RefreshStatusLine();
    ReportPassedOverFailures();
    return;
  }

  const std::string path = files_[index];
  if (early_job_ && early_job_->path() == path) {
    WatchLoad(std::move(early_job_));
  } else {
    WatchLoad(std::make_unique<DecodeJob>(path));
  }
}

void MainWindow::WatchLoad(std::unique_ptr<DecodeJob> job) {
  controls_.view->mouse_move_attached = false;
  loading_ = true;
  load_job_ = std::move(job);
  const std::uint64_t ticket = ++load_ticket_;
  load_job_->WhenDone([this, ticket] {
    // On the decoding thread: the window takes the result on its own thread.
    QMetaObject::invokeMethod(
        this, [this, ticket] { RunGuarded([this, ticket] { FinishLoad(ticket); }); },
        Qt::QueuedConnection);
  });
  UpdateNavButtons();
  progress_timer_->start(kProgressDelayMs);
}

void MainWindow::SupersedeLoad() {
  progress_timer_->stop();
  if (!load_job_) return;
  // The superseded decode stops at its next row; its thread is joined later, so
  // the window never waits for it.
  load_job_->Cancel();
  abandoned_jobs_.push_back(std::move(load_job_));
  std::erase_if(abandoned_jobs_, [](const std::unique_ptr<DecodeJob>& job) { return job->Done(); });
  loading_ = image_.Empty();
}

void MainWindow::CancelLoad() {
  if (DeferWhileBusy([this] { CancelLoad(); })) return;
  const CommandScope scope(*this);
  if (!load_job_) return;
  SupersedeLoad();
  first_failure_.clear();
  more_failures_ = 0;
  KeepShownImageListed();
  RefreshStatusLine();
  controls_.status_bar->clearMessage();
  readout_delay_timer_->start();
}

void MainWindow::ShowLoadProgress() {
  if (!load_job_) return;
  progress_timer_->start(kProgressIntervalMs);
  controls_.status_bar->showMessage(DisplayText("Loading " + load_job_->path() + "  " +
                                                std::to_string(load_job_->PercentDone()) +
                                                " %   (Escape cancels)"));
}

void MainWindow::FinishLoad(std::uint64_t ticket) {
  if (ticket != load_ticket_ || !load_job_ || !load_job_->Done()) return;
  if (DeferWhileBusy([this, ticket] { FinishLoad(ticket); })) return;
  const CommandScope scope(*this);
  std::unique_ptr<DecodeJob> job = std::move(load_job_);
  progress_timer_->stop();
  controls_.status_bar->clearMessage();
  const std::string path = job->path();
  if (job->FromMemory()) {
    FinishPaste(*job);
    return;
  }

  if (!job->Succeeded()) {
    loading_ = image_.Empty();
    readout_delay_timer_->start();
    if (job->Cancelled()) return;
    if (first_failure_.empty()) {
      first_failure_ = "Error Opening " + path + "\n" + job->Error();
    } else {
      more_failures_ += 1;
    }
    const int failed = files_.IndexOf(path);
    if (failed >= 0) files_.Delete(failed);
    SelectShownEntry();
    RefreshStatusLine();
    // Step back to the entry before the failed one; with nothing shown yet, on to the
    // entry that took the failed one's place. An image still in memory is not
    // decoded again.
    int next = failed < 0 ? -1 : failed - 1;
    if (image_.Empty() && next < 0) next = failed;
    if (next < 0 || next >= files_.Count() || files_[next] == shown_path_) {
      KeepShownImageListed();
      RefreshStatusLine();
      ReportPassedOverFailures();
      return;
    }
    StartLoad(next, next == failed ? +1 : -1);
    return;
  }

  ShowNewImage(job->TakeBitmap(), path);
  if (controls_.actual_size_box->isChecked() && (image_.Height() > controls_.view->DeviceHeight() ||
                                                 image_.Width() > controls_.view->DeviceWidth()))
    ToggleZoomNow();
  ReportPassedOverFailures();
}

void MainWindow::FinishPaste(DecodeJob& job) {
  if (!job.Succeeded()) {
    loading_ = image_.Empty();
    readout_delay_timer_->start();
    if (!job.Cancelled()) ReportMessage("Error reading image from clipboard - " + job.Error());
    return;
  }
  files_.Add(job.path());
  ShowNewImage(job.TakeBitmap(), job.path());
}

void MainWindow::ShowNewImage(Bitmap image, const std::string& path) {
  StopRegionStats();  // it reads the image being replaced
  image_ = std::move(image);
  shown_path_ = path;
  loading_ = false;
  SelectShownEntry();
  zoom_box_ = {};
  controls_.status_bar->clearMessage();
  RenderView();
  controls_.zoom_button->setEnabled(true);
  controls_.print_button->setEnabled(true);
  SetApplicationTitle(UpperCaseText(FileNamePart(path)));
  readout_delay_timer_->start();
}

void MainWindow::ReportPassedOverFailures() {
  if (first_failure_.empty()) return;
  std::string text = std::move(first_failure_);
  if (more_failures_ > 0)
    text += "\n\n" + FormatWholeNumber(more_failures_) +
            (more_failures_ == 1 ? " more file" : " more files") +
            " could not be opened either and left the list.";
  first_failure_.clear();
  more_failures_ = 0;
  ReportMessage(text);
}

}  // namespace zelk
