#pragma once
// One image file decoded on a thread of its own, so the window never waits for a
// decode: it can repaint, show progress, cancel, or start another load that
// supersedes this one. The bitmap is handed over only once complete.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"
#include "platform/desktop.h"

namespace zelk {

class DecodeJob {
 public:
  // Starts decoding path at once.
  explicit DecodeJob(std::string path);
  // Starts decoding the bytes of a PNG, BMP or JPEG file held in memory (a picture
  // another program put on the clipboard); path is the name it will be listed under.
  DecodeJob(std::string path, std::vector<std::uint8_t> file_bytes);
  // The same for bytes that fetch first gets, on the decoding thread; its failure is
  // the job's error.
  DecodeJob(std::string path, ClipboardFetch fetch);
  // Cancels the decode and waits for its thread: nothing outlives the job. After
  // AbandonUnfinishedJobs, it no longer waits (see there).
  ~DecodeJob();
  DecodeJob(const DecodeJob&) = delete;
  DecodeJob& operator=(const DecodeJob&) = delete;

  // For the way out of the program: from now on a job destroyed before its decode
  // has ended cancels it and leaves its thread to end alone, never running its
  // WhenDone function, instead of waiting for it. The thread keeps what it uses
  // alive itself, so nothing it touches is freed under it. Call it once the window
  // has gone, before anything that owns jobs is destroyed.
  static void AbandonUnfinishedJobs() noexcept;

  const std::string& path() const { return state_->path; }
  bool FromMemory() const { return state_->from_memory; }

  // The decode stops at its next row; the job then ends as cancelled.
  void Cancel() { state_->control.cancel.store(true); }
  // Rows decoded so far, in per cent of the rows to decode (0 until known).
  int PercentDone() const;

  // Runs on_done exactly once when the job has ended: at once (on the calling
  // thread) when it already has, otherwise on the decoding thread.
  void WhenDone(std::function<void()> on_done);
  bool Done() const;

  // After the job has ended: what came of it.
  bool Succeeded() const;
  bool Cancelled() const;
  const std::string& Error() const { return state_->error; }
  Bitmap TakeBitmap();
  // The size in bytes of what was decoded: the file the decode opened, as its open
  // descriptor says (never looked up again by name, so a file renamed over the path
  // meanwhile does not change it), or the bytes in memory. -1 when unknown.
  std::int64_t FileSize() const;

 private:
  // Everything the decoding thread uses; it holds a share of it, so an abandoned
  // job's thread never touches freed memory.
  struct State {
    std::string path;
    bool from_memory = false;
    std::vector<std::uint8_t> file_bytes;  // read by the decoding thread only
    ClipboardFetch fetch;                  // called by the decoding thread only
    DecodeControl control;
    mutable std::mutex mutex;
    bool done = false;
    bool cancelled = false;
    Bitmap bitmap;
    std::string error;
    std::int64_t file_size = -1;
    std::function<void()> on_done;
  };
  static void Run(const std::shared_ptr<State>& state);
  void Start();

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace zelk
