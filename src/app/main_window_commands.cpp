// MainWindow: the commands that write, print, copy, paste or change the image.

#include <chrono>
#include <filesystem>
#include <system_error>

#include "app/background_task.h"
#include "app/decode_job.h"
#include "app/main_window.h"
#include "app/print_command.h"
#include "app/prompt_dialog.h"
#include "app/qt_desktop.h"
#include "codecs/image_formats.h"
#include "codecs/image_writer.h"
#include "core/files/file_spec.h"
#include "core/files/paths.h"
#include "core/text/colour_ranges.h"
#include "core/view/blit.h"
#include "core/view/svg_path.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
FileDialogRequest ConvertDialogRequest(const std::string& current) {
  FileDialogRequest request;
  request.title = "Choose File Name to Convert to (Extension Dictates Format) :-";
  request.filters = PictureFileFilters();
  request.initial_dir = PathPart(current);
  request.initial_name = RemoveExtension(FileNamePart(current));
  return request;
}

// The view picture as a 24-bit bitmap, for saving what the window shows.
Bitmap PictureAsBitmap(const ViewImage& picture) {
  Bitmap bitmap;
  bitmap.ResetUninitialised(picture.Width(), picture.Height());
  for (int y = 0; y < picture.Height(); ++y) {
    const std::uint32_t* src = picture.Row(y);
    std::uint8_t* dst = bitmap.Row(y);
    for (int x = 0; x < picture.Width(); ++x, dst += 3) {
      dst[0] = static_cast<std::uint8_t>(src[x]);
      dst[1] = static_cast<std::uint8_t>(src[x] >> 8);
      dst[2] = static_cast<std::uint8_t>(src[x] >> 16);
    }
  }
  return bitmap;
}

}  // namespace

void MainWindow::DoConvert() {
  if (!browser_.HasCurrentEntry() || browser_.image().Empty()) return;
  const std::string current = browser_.files()[browser_.index()];
  const std::optional<std::string> target =
      desktop_.ChooseFileToSave(ConvertDialogRequest(current));
  if (!target) return;
  ChangeCurrentFolder(PathPart(*target));
  if (SameFilePath(current, *target)) {
    ReportMessage("Same file names");
    return;
  }
  if (ExtensionOf(*target).empty()) {
    ReportMessage("Needs an extension");
    return;
  }
  // Written to a temporary file and renamed over the target only when complete; a
  // failure reaches the standard exception display with the system's reason.
  const Bitmap& image = browser_.image();
  RunWhileRepainting("Saving " + *target + " ...", [&] { SaveImageFile(*target, image); });
  // The image shown is now that file's.
  browser_.ShownSavedAs(*target);
  UpdateControls();
  viewport_.Fit();
  ViewChanged();
}

void MainWindow::RunWhileRepainting(const std::string& status, const std::function<void()>& work) {
  // Commands that arrive meanwhile wait, as during every command, so nothing
  // changes the image under the worker.
  const auto started = std::chrono::steady_clock::now();
  bool told = false;
  RunOffThread(work, [&] {
    if (!told && std::chrono::steady_clock::now() - started > std::chrono::milliseconds(150)) {
      controls_.status_bar->showMessage(DisplayText(status));
      told = true;
    }
    desktop_.ProcessEvents();
  });
  if (told) controls_.status_bar->clearMessage();
}

void MainWindow::DoSaveVisible() {
  if (!browser_.HasCurrentEntry()) return;
  const std::string name = RemoveExtension(browser_.files()[browser_.index()]) + "_ZelkZoomed.bmp";
  // What the window shows, but never the pixel grid: that is drawn over the view only.
  ViewImage visible = controls_.view->Picture();
  if (viewport_.grid_shown() && viewport_.zoomed())
    RenderMapped(browser_.image(), visible, viewport_.mapping());
  SaveImageFile(name, PictureAsBitmap(visible));
  if (browser_.index() < browser_.files().Count() - 1) controls_.next_button->setFocus();
  ReportMessage("Visible Image Saved to " + name);
}

void MainWindow::DoPrint() {
  if (!browser_.HasCurrentEntry() || browser_.image().Empty()) return;
  RunPrintCommand(
      desktop_, browser_.image(), StatusLineText(), browser_.files()[browser_.index()],
      [this](const std::function<void()>& work) { RunWhileRepainting("Printing ...", work); });
}

void MainWindow::DoCopyImage() {
  if (!browser_.image().Empty()) desktop_.SetClipboardImage(browser_.image());
}

void MainWindow::DoPaste() {
  const std::string name = "cb_" + LowerCaseAscii(RandomLetters(9)) + ".bmp";
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::string path = folder + name;
  try {
    ClipboardPicture pasted;
    std::string reason;
    switch (desktop_.GetClipboardImage(pasted, reason)) {
      case ClipboardImageStatus::kNoImage:
        ReportMessage("Clipboard doesn't contain an image");
        return;
      case ClipboardImageStatus::kUnreadable:
        ReportMessage("Error reading image from clipboard - " + reason);
        return;
      case ClipboardImageStatus::kImage:
        break;
    }
    // A paste is the newest image: a load still under way is dropped. Another
    // program's file is fetched and decoded off the GUI thread, like any load.
    if (pasted.fetch_file_bytes) {
      ApplyBrowseResult(browser_.StartPaste(
          std::make_unique<DecodeJob>(path, std::move(pasted.fetch_file_bytes))));
    } else if (!pasted.file_bytes.empty()) {
      ApplyBrowseResult(
          browser_.StartPaste(std::make_unique<DecodeJob>(path, std::move(pasted.file_bytes))));
    } else {
      ApplyBrowseResult(browser_.ShowPasted(std::move(pasted.pixels), path));
    }
  } catch (const std::exception& e) {
    ReportMessage(std::string("Error reading image from clipboard - ") + e.what());
  }
}

void MainWindow::DoReplaceColours() {
  if (colour_memory_.ranges.empty() && !colour_memory_.ranges_used) {
    colour_memory_.ranges = kDefaultColourRangeText;
    colour_memory_.ranges_used = true;
  }
  if (browser_.files().Empty() || browser_.image().Empty()) return;
  std::string value = colour_memory_.ranges;
  if (!SharedPromptDialog().Query("Zelk Zoomer - Colours to Change",
                                  "RGB Ranges in R(lo:hi) G(lo:hi) B(lo:hi) format.", value))
    return;
  colour_memory_.ranges = value;
  const ColourRanges ranges = ParseColourRanges(value);
  const std::optional<std::uint32_t> colour = desktop_.ChooseColour(colour_memory_.colour);
  if (!colour) return;
  colour_memory_.colour = *colour;
  inspector_.ImageChanging();
  compare_.Stop();  // the count reads the pixels about to change
  zelk::ReplaceColourRanges(browser_.EditableImage(), ranges, *colour);
  if (Comparing()) compare_.Count(browser_.image());
  viewport_.Fit();
  ViewChanged();
}

void MainWindow::DoCopySvgPath() {
  const std::optional<PixelRect> box = viewport_.BoxInImage();
  const std::string path = box ? ZoomBoxSvgPath(*box) : std::string();
  if (!path.empty()) desktop_.SetClipboardText(path);
}

}  // namespace zelk
