#pragma once
// The differences between two working bitmaps, A (the image shown) and B (the one it is
// compared with): how many pixels differ, where, by how much, and a mask of one bit a
// pixel that the renders, the readout and the cluster search read afterwards.
//
// The two are laid over each other at their top-left corners. The canvas is as wide as
// the wider and as high as the higher of them; a canvas pixel both cover differs when one
// of its channels differs by more than the tolerance, one that only one of them covers
// always differs, and one neither covers (beside the narrower, below the lower) is
// nothing at all: it neither differs nor is equal, and is drawn white.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/view/geometry.h"
#include "platform/bitmap.h"

namespace zelk {

// The largest per-channel difference still counted as equal: 0 (exact) to 255
// (nothing both cover differs).
inline constexpr int kMaxDiffTolerance = 255;

struct ChannelDifference {
  int red = 0;
  int green = 0;
  int blue = 0;
  friend bool operator==(const ChannelDifference&, const ChannelDifference&) = default;
};

struct DiffStats {
  int width = 0;  // the canvas
  int height = 0;
  std::uint64_t differing = 0;
  // The smallest rectangle holding every differing pixel (Right and Bottom exclusive);
  // all zero when none differs.
  PixelRect bounds;
  // The largest |B - A| of each channel over the pixels both cover, whether or not it
  // passes the tolerance (so "equal within 2, largest difference 1" can be told).
  ChannelDifference largest;
  bool Equal() const { return differing == 0; }
  friend bool operator==(const DiffStats&, const DiffStats&) = default;
};

// Which canvas pixels differ. Holds one bit for every pixel both bitmaps cover (rows
// rounded up to 64 bits); the parts only one covers are known from the two sizes.
class DiffMask {
 public:
  DiffMask() = default;
  DiffMask(int a_width, int a_height, int b_width, int b_height);

  int AWidth() const noexcept { return a_width_; }
  int AHeight() const noexcept { return a_height_; }
  int BWidth() const noexcept { return b_width_; }
  int BHeight() const noexcept { return b_height_; }
  // The canvas.
  int Width() const noexcept { return std::max(a_width_, b_width_); }
  int Height() const noexcept { return std::max(a_height_, b_height_); }
  // The part both cover.
  int OverlapWidth() const noexcept { return std::min(a_width_, b_width_); }
  int OverlapHeight() const noexcept { return std::min(a_height_, b_height_); }
  bool InA(int x, int y) const noexcept {
    return x >= 0 && y >= 0 && x < a_width_ && y < a_height_;
  }
  bool InB(int x, int y) const noexcept {
    return x >= 0 && y >= 0 && x < b_width_ && y < b_height_;
  }

  // Whether canvas pixel (x, y) differs; false outside the canvas and where neither
  // bitmap has a pixel.
  bool Differs(int x, int y) const noexcept {
    const bool a = InA(x, y), b = InB(x, y);
    if (a && b) return (OverlapRow(y)[x >> 6] >> (x & 63) & 1) != 0;
    return a != b;
  }

  // Bits of overlap row y (0 <= y < OverlapHeight()): word i holds columns 64 i to
  // 64 i + 63, column x in bit x % 64; bits past the overlap's width are 0.
  const std::uint64_t* OverlapRow(int y) const noexcept {
    return bits_.get() + static_cast<std::ptrdiff_t>(y) * words_per_row_;
  }
  std::uint64_t* OverlapRow(int y) noexcept {
    return bits_.get() + static_cast<std::ptrdiff_t>(y) * words_per_row_;
  }
  std::ptrdiff_t WordsPerRow() const noexcept { return words_per_row_; }

 private:
  std::unique_ptr<std::uint64_t[]> bits_;
  std::ptrdiff_t words_per_row_ = 0;
  int a_width_ = 0, a_height_ = 0, b_width_ = 0, b_height_ = 0;
};

struct DiffResult {
  DiffStats stats;
  DiffMask mask;
};

// Compares a with b at the given tolerance (clamped to 0..kMaxDiffTolerance). Reads each
// bitmap once, on two threads when they are large; the only memory it takes is the mask.
// Returns nothing when *cancel became true while it ran. Throws std::bad_alloc when the
// mask cannot be had.
std::optional<DiffResult> CompareBitmaps(const Bitmap& a, const Bitmap& b, int tolerance,
                                         const std::atomic<bool>* cancel = nullptr);

}  // namespace zelk
