#pragma once
// The images being browsed: the list, the entry shown and its pixels, and the life of
// the load that will replace them. Idle, the image, its path and its list position
// describe one file. Loading, the decode runs on a thread of its own and the window
// keeps showing the image until the new one is complete; Escape gives back the list
// and position as they were before the command that started the load. Failures are
// collected while a chain of loads steps past broken files and reported once, when the
// chain ends (shown, failed through, or cancelled).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/files/file_list.h"
#include "platform/bitmap.h"
#include "platform/desktop.h"

class QObject;

namespace zelk {

class DecodeJob;

// What a step did, for the window to show.
struct BrowseResult {
  bool image_replaced = false;  // a new image is shown: fit it, title, readout
  bool load_ended = false;      // the load under way ended, however
  bool load_started = false;
  std::string report;  // a message for the user; empty for none
};

class ImageBrowser {
 public:
  // When a load's decode ends, on_job_done(ticket) runs on context's thread; the window
  // passes the ticket back to Finish there.
  ImageBrowser(QObject* context, std::function<void(std::uint64_t ticket)> on_job_done);
  ~ImageBrowser();
  ImageBrowser(const ImageBrowser&) = delete;
  ImageBrowser& operator=(const ImageBrowser&) = delete;

  // A new selection (the open dialog, a drop): listed sorted, the first one loaded.
  BrowseResult Open(std::vector<std::string> paths);
  // The file or folder named on the command line: its folder's images, the named one
  // (or the first) loaded. Nothing listed: an unchanged, empty browser.
  BrowseResult OpenCommandLine(const std::string& spec);
  // A decode of the command line's file started before the window existed: the first
  // load of that path uses it instead of decoding again.
  void AdoptEarlyDecode(std::unique_ptr<DecodeJob> job);
  // Previous and next from the entry being loaded, else the one shown. Next onto an
  // entry whose file has gone drops it and stays; previous passes over such entries.
  BrowseResult Previous();
  BrowseResult Next();
  // Escape: the load stops, the list and position are as before the command that
  // started it (less the files that failed, which are reported).
  BrowseResult Cancel();
  // The decode of load ticket ended (called on the window's thread).
  BrowseResult Finish(std::uint64_t ticket);
  // A pasted picture: decoded from the clipboard's file bytes by job, or given whole.
  BrowseResult StartPaste(std::unique_ptr<DecodeJob> job);
  BrowseResult ShowPasted(Bitmap pixels, const std::string& path);
  // Convert wrote the image to target: it is now that file's, listed.
  void ShownSavedAs(const std::string& target);
  // Runs just before the image's pixels are replaced or dropped: whatever reads them
  // on another thread must stop there.
  std::function<void()> before_image_change;
  // Empty again: no list, no image, no load.
  void Forget();
  // For edits in place (colour replacement); nothing else changes the pixels.
  Bitmap& EditableImage() { return image_; }

  bool Loading() const { return load_job_ != nullptr; }
  const std::string& LoadingPath() const;
  int PercentDone() const;
  const Bitmap& image() const { return image_; }
  const std::string& shown_path() const { return shown_path_; }
  std::int64_t shown_size() const { return shown_size_; }
  const FileList& files() const { return files_; }
  // The entry shown, -1 when it is not listed.
  int index() const { return index_; }
  bool HasCurrentEntry() const { return index_ >= 0 && index_ < files_.Count(); }
  bool CanGoPrevious() const { return NavigationIndex() > 0; }
  bool CanGoNext() const;

 private:
  enum class Direction { kOpen, kNext, kPrevious };
  // The list and the image shown before the command that started a load.
  struct Restore {
    FileList files;
  };

  BrowseResult StartLoad(int index, Direction direction);
  void Watch(std::unique_ptr<DecodeJob> job);
  // The running load stops at its next row; its result is dropped.
  void Supersede();
  void BeginChain();
  BrowseResult EndChain(BrowseResult result);
  BrowseResult Show(Bitmap image, const std::string& path, std::int64_t size);
  void SelectShownEntry();
  void KeepShownImageListed();
  int NavigationIndex() const;

  // Where a decoding thread posts its end; cut off when the browser goes, so a thread
  // that outlives it posts nothing.
  struct Mailbox;
  std::shared_ptr<Mailbox> mailbox_;
  FileList files_;
  int index_ = -1;
  Bitmap image_;
  std::string shown_path_;
  std::int64_t shown_size_ = -1;

  std::unique_ptr<DecodeJob> load_job_;
  std::uint64_t load_ticket_ = 0;
  std::vector<std::unique_ptr<DecodeJob>> abandoned_jobs_;  // cancelled, not yet joined
  std::unique_ptr<DecodeJob> early_job_;
  std::optional<Restore> restore_;  // set while a chain of loads runs
  std::vector<std::string> failed_paths_;
  std::string first_failure_;
  int more_failures_ = 0;
};

}  // namespace zelk
