// TForm1: the commands that write, print, copy, paste or change the image.

#include <filesystem>

#include "app/picture_file_filters.h"
#include "app/print_command.h"
#include "app/unit1.h"
#include "app/zelkdlgsrc.h"
#include "codecs/image_writer.h"
#include "core/files/file_spec.h"
#include "core/files/paths.h"
#include "core/text/colour_ranges.h"
#include "core/view/svg_path.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
FileDialogRequest SavePictureDialog1(const std::string& current) {
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

std::string LowerCaseAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}
}  // namespace

void TForm1::Button5Click() {
  if (!HasCurrentEntry()) return;
  const std::string current = FileList[FileIndex];
  const std::optional<std::string> target = desktop_.ChooseFileToSave(SavePictureDialog1(current));
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
  SaveImageFile(*target, SourceBitmap);
  FileIndex = FileList.Add(*target);
  RenderView();
  UpdateNavButtons();
}

bool TForm1::Button5ContextPopup() {
  if (!HasCurrentEntry()) return false;
  const std::string name = RemoveExtension(FileList[FileIndex]) + "_ZelkZoomed.bmp";
  EnsurePictureMatchesView();
  SaveImageFile(name, PictureAsBitmap(Image1->Picture()));
  if (FileIndex < FileList.Count() - 1) nxtimg->setFocus();
  ReportMessage("Visible Image Saved to " + name);
  return true;
}

void TForm1::Button2Click() {
  if (!HasCurrentEntry() || SourceBitmap.Empty()) return;
  RunPrintCommand(desktop_, SourceBitmap, caption_text_, FileList[FileIndex]);
}

bool TForm1::Button2ContextPopup() {
  if (SourceBitmap.Empty()) return false;
  desktop_.SetClipboardImage(SourceBitmap);
  return false;
}

bool TForm1::CheckBox2ContextPopup() {
  const std::string name = "cb_" + LowerCaseAscii(RandomLetters(9)) + ".bmp";
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::string path = folder + name;
  try {
    Bitmap pasted;
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
    SourceBitmap = std::move(pasted);
    ImageWidth = SourceBitmap.Width();
    ImageHeight = SourceBitmap.Height();
    Loading = false;
    FileIndex = FileList.Add(path);
    ZoomBox = {};
    RenderView();
    UpdateNavButtons();
    Button1->setEnabled(true);
    Button2->setEnabled(true);
    SetApplicationTitle(UpperCaseText(name));
    Timer3->start();
  } catch (const std::exception& e) {
    ReportMessage(std::string("Error reading image from clipboard - ") + e.what());
  }
  return true;
}

bool TForm1::Button3ContextPopup() {
  if (colour_range_text_.empty() && !colour_range_text_used_) {
    colour_range_text_ = kDefaultColourRangeText;
    colour_range_text_used_ = true;
  }
  if (FileList.Empty()) return true;
  std::string value = colour_range_text_;
  if (!zelkgrabstr().Query("Zelk Zoomer - Colours to Change",
                           "RGB Ranges in R(lo:hi) G(lo:hi) B(lo:hi) format.", value))
    return true;
  colour_range_text_ = value;
  const ColourRanges ranges = ParseColourRanges(value);
  const std::optional<std::uint32_t> colour = desktop_.ChooseColour(last_colour_);
  if (!colour) return true;
  last_colour_ = *colour;
  ReplaceColourRanges(SourceBitmap, ranges, *colour);
  RenderView();
  return true;
}

bool TForm1::Button1ContextPopup() {
  const std::string path = ZoomBoxSvgPath(ZoomBox, ViewScale);
  if (!path.empty()) desktop_.SetClipboardText(path);
  return true;
}

}  // namespace zelk
