// TForm1: loading images, the command line at start, previous and next.

#include <filesystem>

#include "app/picture_file_filters.h"
#include "app/unit1.h"
#include "codecs/image_loader.h"
#include "core/files/file_spec.h"
#include "core/files/folder_scan.h"
#include "core/files/paths.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
FileDialogRequest OpenPictureDialog1(const std::string& initial_dir) {
  FileDialogRequest request;
  request.title = "Load an Image :-";
  request.filters = PictureFileFilters();
  request.initial_dir = initial_dir;
  return request;
}
}  // namespace

void TForm1::Button3Click() {
  if (!LoadFromList) {
    std::vector<std::string> chosen =
        desktop_.ChooseFilesToOpen(OpenPictureDialog1(open_dialog_initial_dir_));
    if (chosen.empty()) return;
    // A confirmed dialog leaves the current directory in the chosen folder (pasted
    // images are named there).
    ChangeCurrentFolder(PathPart(chosen.front()));
    FileList.Assign(std::move(chosen));
    FileIndex = 0;
  }
  LoadCurrentEntry();
}

void TForm1::LoadSelection(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  ChangeCurrentFolder(PathPart(paths.front()));
  FileList.Assign(paths);
  FileIndex = 0;
  LoadFromList = true;
  Button3Click();
}

void TForm1::LoadCurrentEntry() {
  UpdateNavButtons();
  LoadFromList = false;
  if (!HasCurrentEntry()) return;
  const std::string path = FileList[FileIndex];

  if (!FileExistsRetrying(path)) {
    // A file that has gone is dropped silently; the view keeps the previous image.
    FileList.Delete(FileIndex);
    FileIndex -= 1;
    UpdateNavButtons();
    RenderView();
    return;
  }

  Image1->mouse_move_attached = false;
  Loading = true;
  // Decoded into a bitmap of its own, so a file that fails leaves the current image
  // whole (the view, the zoom and the readout keep working on it).
  Bitmap decoded;
  try {
    LoadImageFile(path, decoded);
  } catch (const std::exception& e) {
    ReportMessage("Error Opening " + path + "\n" + e.what());
    FileList.Delete(FileIndex);
    UpdateNavButtons();
    Loading = SourceBitmap.Empty();
    Timer3->start();
    if (FileIndex > 0) {
      LoadFromList = true;
      FileIndex -= 1;
      Button3Click();
    }
    return;
  }
  SourceBitmap = std::move(decoded);
  ImageWidth = SourceBitmap.Width();
  ImageHeight = SourceBitmap.Height();
  ZoomBox = {};
  RenderView();
  Button1->setEnabled(true);
  Button2->setEnabled(true);
  SetApplicationTitle(UpperCaseText(FileNamePart(path)));
  Loading = false;
  Timer3->start();
  if (CheckBox2->isChecked() &&
      (ImageHeight > Image1->DeviceHeight() || ImageWidth > Image1->DeviceWidth()))
    Button1Click();
}

void TForm1::Timer1Timer() {
  Timer1->stop();
  FileIndex = 0;
  const std::string argument = RedirectedParamStr(1);
  if (argument.empty()) return;
  const std::string spec = ExpandFileSpec(argument);
  const std::string folder = PathPart(spec);
  std::error_code error;
  if (folder.empty() || !std::filesystem::is_directory(folder, error)) return;
  ChangeCurrentFolder(folder);
  ScanFolderImages(folder, FileList);
  if (FileList.Empty()) return;
  const int index = FileList.IndexOf(spec);
  FileIndex = index < 0 ? 0 : index;
  open_dialog_initial_dir_ = folder;
  LoadFromList = true;
  Button3Click();
}

void TForm1::prvimgClick() {
  if (FileIndex <= 0) return;
  FileIndex -= 1;
  LoadFromList = true;
  Button3Click();
}

void TForm1::nxtimgClick() {
  if (FileIndex >= FileList.Count() - 1) return;
  FileIndex += 1;
  LoadFromList = true;
  Button3Click();
}

}  // namespace zelk
