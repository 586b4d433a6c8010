// MainWindow: the commands that write, print, copy, paste or change the image.

#include <chrono>
#include <filesystem>
#include <future>
#include <system_error>
#include <thread>

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

void MainWindow::ConvertCurrentFile() {
  if (DeferWhileBusy([this] { ConvertCurrentFile(); })) return;
  const CommandScope scope(*this);

  if (!HasCurrentEntry()) return;
  const std::string current = files_[file_index_];
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
  RunWhileRepainting("Saving " + *target + " ...", [&] { SaveImageFile(*target, image_); });
  // The image shown is now that file's.
  shown_path_ = *target;
  files_.Add(*target);
  SelectShownEntry();
  RenderView();
}

void MainWindow::RunWhileRepainting(const std::string& status, const std::function<void()>& work) {
  // Commands that arrive meanwhile wait, as during every command, so nothing
  // changes the image under the worker.
  std::packaged_task<void()> task(work);
  std::future<void> ended = task.get_future();
  std::thread worker;
  try {
    worker = std::thread(std::move(task));
  } catch (const std::system_error&) {
    work();  // no thread to be had: run here
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  bool told = false;
  while (ended.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready) {
    if (!told && std::chrono::steady_clock::now() - started > std::chrono::milliseconds(150)) {
      controls_.status_bar->showMessage(DisplayText(status));
      told = true;
    }
    desktop_.ProcessEvents();
  }
  worker.join();
  if (told) controls_.status_bar->clearMessage();
  ended.get();  // what work threw, if anything, from here on
}

bool MainWindow::SaveVisibleView() {
  if (DeferWhileBusy([this] { SaveVisibleView(); })) return true;
  const CommandScope scope(*this);

  if (!HasCurrentEntry()) return false;
  const std::string name = RemoveExtension(files_[file_index_]) + "_ZelkZoomed.bmp";
  EnsurePictureMatchesView();
  // What the window shows, but never the pixel grid: that is drawn over the view only.
  ViewImage visible = controls_.view->Picture();
  if (grid_shown_ && zoomed_) {
    visible.Reset(visible.Width(), visible.Height());
    RenderMapped(image_, visible, mapping_);
  }
  SaveImageFile(name, PictureAsBitmap(visible));
  if (file_index_ < files_.Count() - 1) controls_.next_button->setFocus();
  ReportMessage("Visible Image Saved to " + name);
  return true;
}

void MainWindow::Print() {
  if (DeferWhileBusy([this] { Print(); })) return;
  const CommandScope scope(*this);

  if (!HasCurrentEntry() || image_.Empty()) return;
  RunPrintCommand(
      desktop_, image_, caption_text_, files_[file_index_],
      [this](const std::function<void()>& work) { RunWhileRepainting("Printing ...", work); });
}

bool MainWindow::CopyImageToClipboard() {
  if (DeferWhileBusy([this] { CopyImageToClipboard(); })) return true;
  const CommandScope scope(*this);

  if (image_.Empty()) return false;
  desktop_.SetClipboardImage(image_);
  return false;
}

bool MainWindow::PasteImage() {
  if (DeferWhileBusy([this] { PasteImage(); })) return true;
  const CommandScope scope(*this);

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
        return true;
      case ClipboardImageStatus::kUnreadable:
        ReportMessage("Error reading image from clipboard - " + reason);
        return true;
      case ClipboardImageStatus::kImage:
        break;
    }
    // A paste is the newest image: a load still under way is dropped.
    SupersedeLoad();
    // Another program's file: fetched and decoded off the GUI thread, like any load.
    if (pasted.fetch_file_bytes) {
      WatchLoad(std::make_unique<DecodeJob>(path, std::move(pasted.fetch_file_bytes)));
      return true;
    }
    if (!pasted.file_bytes.empty()) {
      WatchLoad(std::make_unique<DecodeJob>(path, std::move(pasted.file_bytes)));
      return true;
    }
    files_.Add(path);
    ShowNewImage(std::move(pasted.pixels), path);
  } catch (const std::exception& e) {
    ReportMessage(std::string("Error reading image from clipboard - ") + e.what());
  }
  return true;
}

bool MainWindow::ReplaceColourRanges() {
  if (DeferWhileBusy([this] { ReplaceColourRanges(); })) return true;
  const CommandScope scope(*this);

  if (colour_range_text_.empty() && !colour_range_text_used_) {
    colour_range_text_ = kDefaultColourRangeText;
    colour_range_text_used_ = true;
  }
  if (files_.Empty()) return true;
  std::string value = colour_range_text_;
  if (!SharedPromptDialog().Query("Zelk Zoomer - Colours to Change",
                                  "RGB Ranges in R(lo:hi) G(lo:hi) B(lo:hi) format.", value))
    return true;
  colour_range_text_ = value;
  const ColourRanges ranges = ParseColourRanges(value);
  const std::optional<std::uint32_t> colour = desktop_.ChooseColour(last_colour_);
  if (!colour) return true;
  last_colour_ = *colour;
  StopRegionStats();
  zelk::ReplaceColourRanges(image_, ranges, *colour);
  RenderView();
  return true;
}

bool MainWindow::CopyZoomBoxAsSvgPath() {
  if (DeferWhileBusy([this] { CopyZoomBoxAsSvgPath(); })) return true;
  const CommandScope scope(*this);

  const std::optional<PixelRect> box = ZoomBoxInImage();
  const std::string path = box ? ZoomBoxSvgPath(*box) : std::string();
  if (!path.empty()) desktop_.SetClipboardText(path);
  return true;
}

}  // namespace zelk
