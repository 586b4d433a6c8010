// MainWindow: loading images, the command line at start, previous and next. The
// browser owns the list, the image and the load; the window shows what each step did.

#include <QTimer>
#include <filesystem>

#include "app/decode_job.h"
#include "app/main_window.h"
#include "app/qt_desktop.h"
#include "codecs/image_formats.h"
#include "core/files/file_spec.h"
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

void MainWindow::DoOpenFiles() {
  std::vector<std::string> chosen = desktop_.ChooseFilesToOpen(OpenDialogRequest());
  if (chosen.empty()) return;
  // A confirmed dialog leaves the current directory in the chosen folder (pasted
  // images are named there).
  ChangeCurrentFolder(PathPart(chosen.front()));
  ApplyBrowseResult(browser_.Open(std::move(chosen)));
}

void MainWindow::StartOpeningCommandLineArgument() {
  // As soon as the window is up: a decode started by main is already under way.
  QTimer::singleShot(0, this, [this] { OpenCommandLineArgument(); });
}

void MainWindow::AdoptEarlyDecode(std::unique_ptr<DecodeJob> job) {
  browser_.AdoptEarlyDecode(std::move(job));
}

void MainWindow::OpenCommandLineArgument() {
  Dispatch(CommandId::kOpenFiles, [this] {
    const std::string argument = FileArgument();
    if (!argument.empty()) ApplyBrowseResult(browser_.OpenCommandLine(ExpandFileSpec(argument)));
    // Nothing to show (no argument, or no image beside the one named): the empty
    // view with its hint, as at any start without an image.
    if (!browser_.Loading() && browser_.image().Empty()) ViewChanged();
  });
}

void MainWindow::ApplyBrowseResult(const BrowseResult& result) {
  if (result.load_started) {
    controls_.view->mouse_move_attached = false;
    controls_.progress_timer->start(kProgressDelayMs);
  }
  if (result.load_ended) {
    controls_.progress_timer->stop();
    controls_.status_bar->clearMessage();
    controls_.readout_delay_timer->start();
  }
  if (result.image_replaced) ShowNewImage();
  UpdateControls();
  ShowCaption();
  if (!result.report.empty()) ReportMessage(result.report);
  if (result.load_ended) RunCommandsWaitingForLoad(result.image_replaced);
}

void MainWindow::FinishLoad(std::uint64_t ticket) {
  commands_.RunExclusive([this, ticket] { ApplyBrowseResult(browser_.Finish(ticket)); },
                         [this](const CommandQueue::Command& command) { RunGuarded(command); });
}

void MainWindow::ShowLoadProgress() {
  if (!browser_.Loading()) return;
  controls_.progress_timer->start(kProgressIntervalMs);
  controls_.status_bar->showMessage(DisplayText("Loading " + browser_.LoadingPath() + "  " +
                                                std::to_string(browser_.PercentDone()) +
                                                " %   (Escape cancels)"));
}

void MainWindow::ShowNewImage() {
  inspector_.ImageChanging();
  if (compare_.active()) {
    // A new A keeps the comparison; its differences are counted again.
    FitCanvas(false);
    compare_.Count(browser_.image());
  } else {
    FitCanvas(false);
  }
  controls_.zoom_button->setEnabled(true);
  controls_.print_button->setEnabled(true);
  SetApplicationTitle(UpperCaseText(FileNamePart(browser_.shown_path())));
  ViewChanged();
}

void MainWindow::UpdateControls() {
  controls_.previous_button->setEnabled(browser_.CanGoPrevious());
  controls_.next_button->setEnabled(browser_.CanGoNext());
}

}  // namespace zelk
