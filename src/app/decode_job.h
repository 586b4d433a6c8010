#pragma once
// One image file decoded on a thread of its own, so the window never waits for a
// decode: it can repaint, show progress, cancel, or start another load that
// supersedes this one. The bitmap is handed over only once complete.

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codecs/decode_control.h"
#include "core/bitmap.h"
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
  // Cancels the decode and waits for its thread: nothing outlives the job.
  ~DecodeJob();
  DecodeJob(const DecodeJob&) = delete;
  DecodeJob& operator=(const DecodeJob&) = delete;

  const std::string& path() const { return path_; }
  bool FromMemory() const { return from_memory_; }

  // The decode stops at its next row; the job then ends as cancelled.
  void Cancel() { control_.cancel.store(true); }
  // Rows decoded so far, in per cent of the rows to decode (0 until known).
  int PercentDone() const;

  // Runs on_done exactly once when the job has ended: at once (on the calling
  // thread) when it already has, otherwise on the decoding thread.
  void WhenDone(std::function<void()> on_done);
  bool Done() const;

  // After the job has ended: what came of it.
  bool Succeeded() const;
  bool Cancelled() const;
  const std::string& Error() const { return error_; }
  Bitmap TakeBitmap();

 private:
  void Run();

  const std::string path_;
  const bool from_memory_ = false;
  std::vector<std::uint8_t> file_bytes_;  // read by the decoding thread only
  ClipboardFetch fetch_;                  // called by the decoding thread only
  DecodeControl control_;
  mutable std::mutex mutex_;
  bool done_ = false;
  bool cancelled_ = false;
  Bitmap bitmap_;
  std::string error_;
  std::function<void()> on_done_;
  std::thread thread_;  // last: it starts only once everything above exists
};

}  // namespace zelk
