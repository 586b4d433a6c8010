#pragma once
// A grid between image pixels, drawn over a rendered view for exact inspection. It is
// drawn into the view picture only, after the render: saving, printing or copying the
// image (which use the bitmap or an un-gridded render) never includes it.

#include "core/view/view_mapping.h"
#include "core/view_image.h"

namespace zelk {

// Blocks must be at least this many device pixels each way for the grid to show.
inline constexpr double kPixelGridMinBlock = 8.0;

// Draws one-device-pixel lines on the first view column and row of every image pixel
// that follows another image pixel (so none along the image's outer edges or over the
// background), when the mapping's blocks are at least kPixelGridMinBlock device pixels
// each way. Each line pixel becomes black over a light pixel and white over a dark one.
void DrawPixelGrid(ViewImage& view, const ViewMapping& mapping, int image_w, int image_h);

}  // namespace zelk
