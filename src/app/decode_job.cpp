#include "app/decode_job.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

#include "codecs/image_loader.h"

namespace zelk {

namespace {

// The decoders' row buffers are freed by now, but the C library keeps freed memory in
// each thread's pool; handed back here, it does not stay resident beside the image
// for as long as the image is open.
void ReturnFreedMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

}  // namespace

DecodeJob::DecodeJob(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}

DecodeJob::DecodeJob(std::string path, std::vector<std::uint8_t> file_bytes)
    : path_(std::move(path)),
      from_memory_(true),
      file_bytes_(std::move(file_bytes)),
      thread_([this] { Run(); }) {}

DecodeJob::DecodeJob(std::string path, ClipboardFetch fetch)
    : path_(std::move(path)),
      from_memory_(true),
      fetch_(std::move(fetch)),
      thread_([this] { Run(); }) {}

DecodeJob::~DecodeJob() {
  Cancel();
  if (thread_.joinable()) thread_.join();
}

void DecodeJob::Run() {
  Bitmap decoded;
  std::string error;
  bool cancelled = false;
  try {
    if (fetch_) {
      std::optional<std::vector<std::uint8_t>> fetched = fetch_(control_.cancel, error);
      if (fetched) {
        file_bytes_ = std::move(*fetched);
      } else if (CancelRequested(&control_)) {
        throw DecodeCancelled();
      } else {
        throw std::runtime_error(error);
      }
    }
    if (from_memory_) {
      LoadImageBytes(file_bytes_.data(), file_bytes_.size(), decoded, &control_);
    } else {
      LoadImageFile(path_, decoded, &control_);
    }
  } catch (const DecodeCancelled&) {
    cancelled = true;
  } catch (const std::exception& e) {
    error = e.what();
    if (error.empty()) error = "the image could not be decoded";
  } catch (...) {
    error = "the image could not be decoded";
  }
  file_bytes_ = {};  // the encoded copy is not needed once decoded
  ReturnFreedMemory();
  std::function<void()> on_done;
  {
    const std::lock_guard lock(mutex_);
    bitmap_ = std::move(decoded);
    error_ = std::move(error);
    cancelled_ = cancelled;
    done_ = true;
    on_done = std::move(on_done_);
  }
  if (on_done) on_done();
}

int DecodeJob::PercentDone() const {
  const std::int64_t total = control_.rows_total.load();
  const std::int64_t done = control_.rows_done.load();
  if (total <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
}

void DecodeJob::WhenDone(std::function<void()> on_done) {
  {
    const std::lock_guard lock(mutex_);
    if (!done_) {
      on_done_ = std::move(on_done);
      return;
    }
  }
  on_done();
}

bool DecodeJob::Done() const {
  const std::lock_guard lock(mutex_);
  return done_;
}

bool DecodeJob::Succeeded() const {
  const std::lock_guard lock(mutex_);
  return done_ && !cancelled_ && error_.empty();
}

bool DecodeJob::Cancelled() const {
  const std::lock_guard lock(mutex_);
  return cancelled_;
}

Bitmap DecodeJob::TakeBitmap() {
  const std::lock_guard lock(mutex_);
  return std::move(bitmap_);
}

}  // namespace zelk
