#pragma once
// Nearest-neighbour copies from the working bitmap onto the view picture, whole
// pixels and no smoothing. Destination pixel i of a span of n pixels takes source
// pixel src0 + floor((2i + 1) * m / (2n)) for a source span of m pixels (the centre of
// the destination pixel, in exact integer arithmetic), so at a whole-number
// magnification k every source pixel becomes a uniform k x k block. Only destination
// pixels are visited: the cost follows the view's size, not the image's.

#include "core/bitmap.h"
#include "core/view_image.h"

namespace zelk {

// Draws the whole bitmap into (0, 0, dst_w, dst_h) of the view, clipped to the view;
// the rest of the view becomes white. A non-positive size draws nothing.
void StretchToView(const Bitmap& src, ViewImage& view, int dst_w, int dst_h);

// Stretches the source rectangle (left, top, right, bottom; right and bottom exclusive)
// over the whole view. The rectangle may reach outside the bitmap: those parts are
// white, and nothing is read outside the bitmap. A rectangle with right < left (or
// bottom < top) is drawn mirrored; one without width or height leaves the view white.
void CopySourceRectToView(const Bitmap& src, int left, int top, int right, int bottom,
                          ViewImage& view);

}  // namespace zelk
