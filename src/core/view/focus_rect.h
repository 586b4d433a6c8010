#pragma once
// The zoom box outline: a dotted rectangle drawn by inverting pixels, so that drawing
// it a second time restores the picture exactly.

#include "core/view/geometry.h"
#include "core/view_image.h"

namespace zelk {

// Inverts every other pixel along the border of the rectangle (right and bottom
// exclusive), in a checkerboard fixed to the view so the dots of neighbouring edges
// line up; clipped to the view. Every pixel is inverted at most once per call, corners
// included. A rectangle without width or height draws nothing; one given with its
// sides swapped is drawn as its normalised form.
void DrawFocusRect(ViewImage& view, const ZoomBox& rect);

}  // namespace zelk
