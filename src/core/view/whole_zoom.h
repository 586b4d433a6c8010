#pragma once
// Exact inspection zoom: whole magnifications only, so every image pixel is a k x k
// block of device pixels. Steps up and down a fixed ladder, zooms about the pointer
// and pans by the pointer's travel, all as ViewMappings that the render, the readout
// and the pixel grid share.

#include <cstdint>

#include "core/view/view_mapping.h"

namespace zelk {

// Device pixels per image pixel that the inspection zoom steps through.
inline constexpr int kWholeMagnifications[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128};

// The magnification one step up. current is 0 for the fitted view (then the smallest
// step above fitted_scale, so zooming in always enlarges) or a step of the ladder (then
// the next one). Returns current when there is nothing above.
int WholeZoomUp(int current, double fitted_scale);

// The magnification one step down: the largest step below current that still enlarges
// more than the fitted view does, or 0 (back to the fitted view) when there is none.
int WholeZoomDown(int current, double fitted_scale);

// The axis at magnification k that shows source pixel p under view pixel v, with the
// pointer `fraction` (0 <= fraction < 1) of the way across p's block.
AxisMapping ZoomAxisAt(int v, std::int64_t p, int k, double fraction);

// How far across its source pixel view pixel v lies (0 <= result < 1); on a block
// limited to a zoom box's last pixel, its end.
double PointerFraction(const AxisMapping& axis, int v);

// The view at magnification k (1 for one device pixel per image pixel) that keeps the
// pixel under the pointer (x, y) of the current view under it, at the same place
// within its block.
ViewMapping ZoomAt(const ViewMapping& current, int x, int y, int k);

// Moves the picture of a whole-magnification view by (dx, dy) device pixels, exactly
// as far as the pointer travelled, the remainder of a block carried in the phase.
// Limits: a picture larger than the view keeps the view covered; a smaller one stays
// wholly inside it. A picture already beyond those limits (after a zoom at its edge) is
// not pulled back, only kept from moving further out.
ViewMapping PanWholeZoom(const ViewMapping& mapping, int dx, int dy, int view_w, int view_h,
                         int image_w, int image_h);

}  // namespace zelk
