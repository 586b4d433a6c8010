#include "app/decode_job.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
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

// Set once on the way out of the program; see DecodeJob::AbandonUnfinishedJobs.
std::atomic<bool> abandon_unfinished{false};

}  // namespace

DecodeJob::DecodeJob(std::string path) : state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  Start();
}

DecodeJob::DecodeJob(std::string path, std::vector<std::uint8_t> file_bytes)
    : state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  state_->from_memory = true;
  state_->file_bytes = std::move(file_bytes);
  Start();
}

DecodeJob::DecodeJob(std::string path, ClipboardFetch fetch) : state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  state_->from_memory = true;
  state_->fetch = std::move(fetch);
  Start();
}

void DecodeJob::Start() {
  thread_ = std::thread([state = state_] { Run(state); });
}

DecodeJob::~DecodeJob() {
  Cancel();
  if (!thread_.joinable()) return;
  if (abandon_unfinished.load()) {
    {
      const std::lock_guard lock(state_->mutex);
      state_->on_done = nullptr;  // whatever it would tell is going away
    }
    thread_.detach();
    return;
  }
  thread_.join();
}

void DecodeJob::AbandonUnfinishedJobs() noexcept {
  abandon_unfinished.store(true);
}

void DecodeJob::Run(const std::shared_ptr<State>& state_pointer) {
  State& state = *state_pointer;
  Bitmap decoded;
  std::string error;
  bool cancelled = false;
  std::int64_t file_size = -1;
  try {
    if (state.fetch) {
      std::optional<std::vector<std::uint8_t>> fetched = state.fetch(state.control.cancel, error);
      if (fetched) {
        state.file_bytes = std::move(*fetched);
      } else if (CancelRequested(&state.control)) {
        throw DecodeCancelled();
      } else {
        throw std::runtime_error(error);
      }
    }
    if (state.from_memory) {
      file_size = static_cast<std::int64_t>(state.file_bytes.size());
      LoadImageBytes(state.file_bytes.data(), state.file_bytes.size(), decoded, &state.control);
    } else {
      OpenedFile opened;
      LoadImageFile(state.path, decoded, &state.control, &opened);
      file_size = opened.size;
    }
  } catch (const DecodeCancelled&) {
    cancelled = true;
  } catch (const std::exception& e) {
    error = e.what();
    if (error.empty()) error = "the image could not be decoded";
  } catch (...) {
    error = "the image could not be decoded";
  }
  state.file_bytes = {};  // the encoded copy is not needed once decoded
  ReturnFreedMemory();
  std::function<void()> on_done;
  {
    const std::lock_guard lock(state.mutex);
    state.bitmap = std::move(decoded);
    state.error = std::move(error);
    state.cancelled = cancelled;
    state.file_size = file_size;
    state.done = true;
    on_done = std::move(state.on_done);
  }
  if (on_done) on_done();
}

int DecodeJob::PercentDone() const {
  const std::int64_t total = state_->control.rows_total.load();
  const std::int64_t done = state_->control.rows_done.load();
  if (total <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
}

void DecodeJob::WhenDone(std::function<void()> on_done) {
  {
    const std::lock_guard lock(state_->mutex);
    if (!state_->done) {
      state_->on_done = std::move(on_done);
      return;
    }
  }
  on_done();
}

bool DecodeJob::Done() const {
  const std::lock_guard lock(state_->mutex);
  return state_->done;
}

bool DecodeJob::Succeeded() const {
  const std::lock_guard lock(state_->mutex);
  return state_->done && !state_->cancelled && state_->error.empty();
}

bool DecodeJob::Cancelled() const {
  const std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

Bitmap DecodeJob::TakeBitmap() {
  const std::lock_guard lock(state_->mutex);
  return std::move(state_->bitmap);
}

std::int64_t DecodeJob::FileSize() const {
  const std::lock_guard lock(state_->mutex);
  return state_->file_size;
}

}  // namespace zelk
