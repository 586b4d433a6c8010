#pragma once
// What a caller may ask of a raster decode beyond the file itself: a way for
// another thread to stop it and follow its progress, and bounds for an image held
// inside another file.

#include <atomic>
#include <cstdint>
#include <stdexcept>

#include "platform/bitmap.h"

namespace zelk {

// Shared by the thread that decodes and the one that waits for it; every field is
// atomic, so neither needs a lock. The JPEG, PNG and BMP/ICO decoders look at
// `cancel` every few rows; set it and the decode ends with DecodeCancelled.
struct DecodeControl {
  std::atomic<bool> cancel{false};
  // Rows decoded of rows to decode. Each pass over the rows counts: an interlaced
  // PNG has 7 passes, a progressive JPEG one per scan read plus the final output
  // (its total grows when more scans turn up than libjpeg first estimated).
  std::atomic<std::int64_t> rows_done{0};
  std::atomic<std::int64_t> rows_total{0};

  void Report(std::int64_t done, std::int64_t total) noexcept {
    rows_total.store(total, std::memory_order_relaxed);
    rows_done.store(done, std::memory_order_relaxed);
  }
};

// Thrown instead of ImageError when a decode stopped because it was cancelled; the
// bitmap is then empty. Deliberately not an ImageError, so that nothing which falls
// back to another part of the file on failure (icons) swallows it.
class DecodeCancelled : public std::runtime_error {
 public:
  DecodeCancelled() : std::runtime_error("loading the image was cancelled") {}
};

inline bool CancelRequested(const DecodeControl* control) noexcept {
  return control != nullptr && control->cancel.load(std::memory_order_relaxed);
}

// How a JPEG or PNG is read: the caller's control, and the largest picture the
// caller accepts (an image inside an icon entry or a bitmap may not be larger than
// the header that holds it claims), checked before anything is allocated.
struct RasterReadOptions {
  DecodeControl* control = nullptr;
  std::int64_t max_width = kMaxImageSide;
  std::int64_t max_height = kMaxImageSide;
  // Whether the decoder may put a second core to work (PNG: one thread inflates,
  // the other unfilters). Off, every format decodes on the calling thread alone.
  bool second_thread = true;
};

}  // namespace zelk
