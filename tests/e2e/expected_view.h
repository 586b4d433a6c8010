#pragma once
// What the image area must show, computed independently of the program from the source
// pixels: whole-pixel copies, each view pixel taking the source pixel that the pointer
// readout names for it.

#include <cstdint>
#include <string>

#include "platform/bitmap.h"

namespace zelk::e2e {

struct PixelRect {
  int left, top, right, bottom;  // right and bottom exclusive
};

// A test picture in which every pixel differs from its four neighbours.
Bitmap PatternImage(int width, int height, int seed);

// src's rectangle stretched over a view_width x view_height view; with square_blocks
// (a box drawn at the view's shape) the rows are stretched as much as the columns.
Bitmap ExpectedZoomedView(const Bitmap& src, PixelRect rect, int view_width, int view_height,
                          bool square_blocks = false);
// The whole of src fitted into the view at the top-left corner, white elsewhere.
Bitmap ExpectedFittedView(const Bitmap& src, int view_width, int view_height);
// src at one pixel per view pixel at the top-left corner, white elsewhere.
Bitmap ExpectedActualSizeView(const Bitmap& src, int view_width, int view_height);

// Empty when equal; otherwise the sizes or the first differing pixel and how many
// differ. Pixels within slack of the outline of ignore_box (a zoom box drawn over the
// view, in view pixels, known to that precision) are not compared when it is given.
std::string Difference(const Bitmap& actual, const Bitmap& expected,
                       const PixelRect* ignore_box = nullptr, int slack = 0);

}  // namespace zelk::e2e
