#pragma once
// The status bar's readout under the pointer: which source pixel it points at, the
// colour text and the zoom box's source coordinates.

#include <string>

#include "core/view/geometry.h"
#include "core/view/view_mapping.h"

namespace zelk {

struct SourcePoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const SourcePoint&, const SourcePoint&) = default;
};

// The source pixel under view point (x, y): the one the render draws there.
SourcePoint ReadoutPoint(const ViewMapping& mapping, int x, int y);

// The mapping of the view as it stands: the zoom box's when zoomed (view_w x view_h
// being the view's size), the fitted view's otherwise.
ViewMapping CurrentViewMapping(bool zoomed, double scale, const ZoomBox& box, int view_w,
                               int view_h);

// ReadoutPoint of CurrentViewMapping. Unzoomed: the point divided by the scale,
// floored, not limited to the image. Zoomed: the box's source origin plus the point's
// share of the box (floored), but never past the crop's last column or row; a view
// without width or height maps onto the box's origin.
SourcePoint ReadoutPoint(bool zoomed, int x, int y, double scale, const ZoomBox& box, int view_w,
                         int view_h);

// "HTML Colour at [X: x Y: y]=#" followed by the named colour (LookUpColourName's text).
std::string ColourReadoutText(const SourcePoint& point, const std::string& named_colour);

// "[X: x Y: y]": the colour text when the colour could not be had.
std::string ColourReadoutFailureText(const SourcePoint& point);

// "   Zoom Box on Coords (L:l T: t R: r B: b)" with the box's source coordinates, or
// empty for an empty box.
std::string ZoomBoxReadoutText(const ZoomBox& box, double scale);
// The same text for a box already in image pixels.
std::string ZoomBoxReadoutText(const PixelRect& source);

}  // namespace zelk
