#pragma once
// Which source pixel each view pixel shows. One rule serves the renders and the
// pointer readout alike, so the coordinates named under the pointer are always those
// of the pixel whose colour is drawn there.

#include <cstdint>
#include <limits>

#include "core/view/geometry.h"

namespace zelk {

// One axis: view pixel v shows source pixel
//   origin + floor((v + phase) * source_span / view_span),
// but never one past `last` (the zoom box's last column or row). A whole-number
// magnification k is kept as source_span 1 and view_span k (a reduction by k as k and
// 1), so every block is exactly k view pixels and no rounding of a ratio moves a block
// edge. phase (0 <= phase < view_span at whole magnifications) shifts the blocks by
// that many view pixels, so a pan can move the picture by less than one block.
struct AxisMapping {
  static constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

  std::int64_t origin = 0;
  double source_span = 1.0;
  double view_span = 1.0;
  std::int64_t phase = 0;
  std::int64_t last = kNoLimit;

  // The source pixel under view pixel v (any v; the result may lie outside the image).
  std::int64_t Source(std::int64_t v) const;
  // False when the spans are 0, negative in view or not finite: then every view pixel
  // names origin, and a render leaves the axis white.
  bool HasSpan() const;
  // View pixels per source pixel.
  double Magnification() const { return view_span / source_span; }
  // How many view pixels from 0 show a pixel of a source of `size` pixels, i.e. the
  // first v >= 0 whose source pixel is at or past size. 0 for an empty source.
  int ShownExtent(int size) const;

  friend bool operator==(const AxisMapping&, const AxisMapping&) = default;
};

struct ViewMapping {
  AxisMapping x;
  AxisMapping y;
  friend bool operator==(const ViewMapping&, const ViewMapping&) = default;
};

// An axis showing source_span source pixels over view_span view pixels from origin;
// a ratio within rounding of a whole number (either way) is made exact.
AxisMapping ScaledAxis(std::int64_t origin, double source_span, double view_span,
                       std::int64_t last = AxisMapping::kNoLimit);

// An axis at whole magnification k >= 1 (smaller k count as 1): view pixel v shows
// floor((offset + v) / k). offset = origin * k + phase is how many view pixels the
// picture's left (top) edge lies before the view's (negative when it starts inside).
AxisMapping WholeMagnificationAxis(std::int64_t offset, int k);
// The offset of a whole-magnification axis (origin * view_span + phase).
std::int64_t AxisOffset(const AxisMapping& axis);

// The fitted (or actual-size) view: view pixel v shows source pixel floor(v / scale).
ViewMapping FittedViewMapping(double scale);

// The zoomed view of a box drawn over the fitted view at `scale`, stretched over a view
// of view_w x view_h: horizontally from trunc(Left / scale) over (Right - Left) / scale
// source pixels, never past trunc(Right / scale - 1); the same vertically. A box with the
// view's shape (its height within one pixel of width * view_h / view_w, as the aspect
// rule makes it) takes the horizontal ratio vertically too, so its blocks are square.
// An empty box or view maps everything onto the box's origin.
ViewMapping ZoomBoxViewMapping(const ZoomBox& box, double scale, int view_w, int view_h);

// The image pixels a view of view_w x view_h shows by the mapping, clipped to an image of
// image_w x image_h (right and bottom exclusive; empty when none is shown).
PixelRect ShownImageRect(const ViewMapping& mapping, int view_w, int view_h, int image_w,
                         int image_h);

}  // namespace zelk
