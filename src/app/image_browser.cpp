#include "app/image_browser.h"

#include <QObject>
#include <algorithm>
#include <filesystem>
#include <mutex>

#include "app/decode_job.h"
#include "codecs/image_formats.h"
#include "core/files/file_spec.h"
#include "core/files/folder_scan.h"
#include "support/support.h"

namespace zelk {

struct ImageBrowser::Mailbox {
  std::mutex mutex;
  QObject* target = nullptr;
  std::function<void(std::uint64_t)> deliver;
};

ImageBrowser::ImageBrowser(QObject* context, std::function<void(std::uint64_t)> on_job_done)
    : mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->target = context;
  mailbox_->deliver = std::move(on_job_done);
}

ImageBrowser::~ImageBrowser() {
  {
    const std::lock_guard<std::mutex> lock(mailbox_->mutex);
    mailbox_->target = nullptr;
  }
  // Each job cancels its decode and waits for its thread (every decoder stops within
  // a few rows or records), or, on the way out of the program, leaves it to end alone.
}

const std::string& ImageBrowser::LoadingPath() const {
  static const std::string kNone;
  return load_job_ ? load_job_->path() : kNone;
}

int ImageBrowser::PercentDone() const {
  return load_job_ ? load_job_->PercentDone() : 0;
}

int ImageBrowser::NavigationIndex() const {
  if (load_job_) return files_.IndexOf(load_job_->path());
  return index_;
}

bool ImageBrowser::CanGoNext() const {
  const int at = NavigationIndex();
  return at < files_.Count() - 1;
}

void ImageBrowser::SelectShownEntry() {
  index_ = shown_path_.empty() ? -1 : files_.IndexOf(shown_path_);
}

void ImageBrowser::KeepShownImageListed() {
  // A list of which nothing could be shown: the image still shown joins it, so the
  // caption names a listed file.
  if (!shown_path_.empty() && files_.IndexOf(shown_path_) < 0) files_.Add(shown_path_);
  SelectShownEntry();
}

void ImageBrowser::BeginChain() {
  if (!restore_) restore_ = Restore{files_};
}

BrowseResult ImageBrowser::EndChain(BrowseResult result) {
  result.load_ended = true;
  restore_.reset();
  failed_paths_.clear();
  if (first_failure_.empty()) return result;
  std::string text = std::move(first_failure_);
  if (more_failures_ > 0)
    text += "\n\n" + FormatWholeNumber(more_failures_) +
            (more_failures_ == 1 ? " more file" : " more files") +
            " could not be opened either and left the list.";
  first_failure_.clear();
  more_failures_ = 0;
  result.report = result.report.empty() ? text : text + "\n\n" + result.report;
  return result;
}

BrowseResult ImageBrowser::Open(std::vector<std::string> paths) {
  if (paths.empty()) return {};
  BeginChain();
  files_.Assign(std::move(paths));
  SelectShownEntry();
  return StartLoad(0, Direction::kOpen);
}

BrowseResult ImageBrowser::OpenCommandLine(const std::string& spec) {
  const std::string folder = PathPart(spec);
  std::error_code error;
  if (folder.empty() || !std::filesystem::is_directory(folder, error)) return {};
  ChangeCurrentFolder(folder);
  FileList listed;
  ScanFolderImages(folder, IsListedImageExtension, listed);
  if (listed.Empty()) return {};
  BeginChain();
  files_ = std::move(listed);
  SelectShownEntry();
  const int index = files_.IndexOf(spec);
  BrowseResult result = StartLoad(index < 0 ? 0 : index, Direction::kOpen);
  early_job_.reset();  // used by now, or never
  return result;
}

void ImageBrowser::AdoptEarlyDecode(std::unique_ptr<DecodeJob> job) {
  early_job_ = std::move(job);
}

BrowseResult ImageBrowser::Previous() {
  const int index = NavigationIndex();
  if (index <= 0) return {};
  BeginChain();
  return StartLoad(index - 1, Direction::kPrevious);
}

BrowseResult ImageBrowser::Next() {
  const int index = NavigationIndex();
  if (index < 0 || index >= files_.Count() - 1) return {};
  BeginChain();
  return StartLoad(index + 1, Direction::kNext);
}

BrowseResult ImageBrowser::StartLoad(int index, Direction direction) {
  Supersede();
  // An entry whose file has gone leaves the list without a word. Stepping forward the
  // image shown stays, with the new count; opening goes on to the entry that took its
  // place, and stepping back to the one before.
  while (index >= 0 && index < files_.Count()) {
    const std::string path = files_[index];
    if (FileExistsRetrying(path)) break;
    files_.Delete(index);
    if (direction == Direction::kNext) index = -1;
    if (direction == Direction::kPrevious) index -= 1;
  }
  SelectShownEntry();
  if (index < 0 || index >= files_.Count()) {
    KeepShownImageListed();
    return EndChain({});
  }
  const std::string path = files_[index];
  if (early_job_ && early_job_->path() == path) {
    Watch(std::move(early_job_));
  } else {
    Watch(std::make_unique<DecodeJob>(path));
  }
  BrowseResult result;
  result.load_started = true;
  return result;
}

void ImageBrowser::Watch(std::unique_ptr<DecodeJob> job) {
  load_job_ = std::move(job);
  const std::uint64_t ticket = ++load_ticket_;
  load_job_->WhenDone([mailbox = mailbox_, ticket] {
    // On the decoding thread: the result is taken on the window's.
    const std::lock_guard<std::mutex> lock(mailbox->mutex);
    if (mailbox->target == nullptr) return;
    QMetaObject::invokeMethod(
        mailbox->target, [mailbox, ticket] { mailbox->deliver(ticket); }, Qt::QueuedConnection);
  });
}

void ImageBrowser::Supersede() {
  if (!load_job_) return;
  // The superseded decode stops at its next row; its thread is joined later, so the
  // window never waits for it.
  load_job_->Cancel();
  abandoned_jobs_.push_back(std::move(load_job_));
  std::erase_if(abandoned_jobs_, [](const std::unique_ptr<DecodeJob>& job) { return job->Done(); });
}

BrowseResult ImageBrowser::Cancel() {
  if (!load_job_) return {};
  Supersede();
  if (restore_) {
    files_ = std::move(restore_->files);
    for (const std::string& failed : failed_paths_) files_.Delete(files_.IndexOf(failed));
  }
  KeepShownImageListed();
  return EndChain({});
}

BrowseResult ImageBrowser::StartPaste(std::unique_ptr<DecodeJob> job) {
  BeginChain();
  Supersede();
  Watch(std::move(job));
  BrowseResult result;
  result.load_started = true;
  return result;
}

BrowseResult ImageBrowser::ShowPasted(Bitmap pixels, const std::string& path) {
  Supersede();
  files_.Add(path);
  return EndChain(Show(std::move(pixels), path, -1));
}

void ImageBrowser::Forget() {
  Supersede();
  files_.Clear();
  index_ = -1;
  if (before_image_change) before_image_change();
  image_ = Bitmap();
  shown_path_.clear();
  shown_size_ = -1;
  restore_.reset();
  failed_paths_.clear();
  first_failure_.clear();
  more_failures_ = 0;
}

void ImageBrowser::ShownSavedAs(const std::string& target) {
  shown_path_ = target;
  shown_size_ = -1;
  files_.Add(target);
  SelectShownEntry();
}

BrowseResult ImageBrowser::Show(Bitmap image, const std::string& path, std::int64_t size) {
  if (before_image_change) before_image_change();
  image_ = std::move(image);
  shown_path_ = path;
  shown_size_ = size;
  SelectShownEntry();
  BrowseResult result;
  result.image_replaced = true;
  return result;
}

BrowseResult ImageBrowser::Finish(std::uint64_t ticket) {
  if (ticket != load_ticket_ || !load_job_ || !load_job_->Done()) return {};
  std::unique_ptr<DecodeJob> job = std::move(load_job_);
  const std::string path = job->path();
  if (job->FromMemory()) {
    if (job->Succeeded()) {
      files_.Add(path);
      return EndChain(Show(job->TakeBitmap(), path, -1));
    }
    BrowseResult result;
    if (!job->Cancelled()) result.report = "Error reading image from clipboard - " + job->Error();
    return EndChain(result);
  }
  if (job->Succeeded()) {
    // The size of the file the decode opened, not of whatever the name holds now.
    const std::int64_t size = job->FileSize();
    return EndChain(Show(job->TakeBitmap(), path, size));
  }
  if (job->Cancelled()) return EndChain({});

  if (first_failure_.empty()) {
    first_failure_ = "Error Opening " + path + "\n" + job->Error();
  } else {
    more_failures_ += 1;
  }
  failed_paths_.push_back(path);
  const int failed = files_.IndexOf(path);
  if (failed >= 0) files_.Delete(failed);
  SelectShownEntry();
  // Step back to the entry before the failed one; with nothing shown yet, on to the
  // entry that took the failed one's place. An image still in memory is not decoded
  // again.
  int next = failed < 0 ? -1 : failed - 1;
  if (image_.Empty() && next < 0) next = failed;
  if (next < 0 || next >= files_.Count() || files_[next] == shown_path_) {
    KeepShownImageListed();
    return EndChain({});
  }
  return StartLoad(next, next == failed ? Direction::kOpen : Direction::kPrevious);
}

}  // namespace zelk
