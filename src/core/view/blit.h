#pragma once
// Nearest-neighbour copies from the working bitmap onto the view picture, whole
// pixels and no smoothing. Each view pixel shows the source pixel that a ViewMapping
// names for it (the rule the pointer readout uses too); view pixels whose source pixel
// lies outside the bitmap are white. Only view pixels are visited: the cost follows the
// view's size, not the image's.

#include "core/view/view_mapping.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {

// Draws the whole view by the mapping. An empty bitmap leaves the view white.
void RenderMapped(const Bitmap& src, ViewImage& view, const ViewMapping& mapping);

// Draws only the view columns [x_begin, x_end) by the mapping (clipped to the view),
// exactly as RenderMapped draws them; the other columns are left as they are. Two
// calls with the same mapping draw two pictures side by side, pixel for pixel in
// register (the comparison's split view).
void RenderMappedColumns(const Bitmap& src, ViewImage& view, const ViewMapping& mapping,
                         int x_begin, int x_end);

// View columns left of divider_x show left, the rest right, each as RenderMapped draws
// it; one pass (and one second thread) for both.
void RenderMappedSplit(const Bitmap& left, const Bitmap& right, ViewImage& view,
                       const ViewMapping& mapping, int divider_x);

// Draws the whole bitmap into (0, 0, dst_w, dst_h) of the view: view pixel i of that
// span shows source pixel floor(i * width / dst_w) (the same vertically); the rest of
// the view becomes white. A non-positive size draws nothing.
void StretchToView(const Bitmap& src, ViewImage& view, int dst_w, int dst_h);

// Stretches the source rectangle (left, top, right, bottom; right and bottom exclusive)
// over the whole view: view pixel i of n shows left + floor(i * (right - left) / n).
// The rectangle may reach outside the bitmap: those parts are white, and nothing is
// read outside the bitmap. A rectangle with right < left (or bottom < top) is drawn
// mirrored; one without width or height leaves the view white.
void CopySourceRectToView(const Bitmap& src, int left, int top, int right, int bottom,
                          ViewImage& view);

}  // namespace zelk
