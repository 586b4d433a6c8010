#pragma once
// The zoom box as the path data of an SVG rectangle, in source pixels.

#include <string>

#include "core/view/geometry.h"

namespace zelk {

// "M<l>,<t> H<r> V<b> H<l> Z" with the box's source coordinates as plain decimal
// integers (no thousands separator); empty for an empty box.
std::string ZoomBoxSvgPath(const ZoomBox& box, double scale);
// The same path for a box already in image pixels.
std::string ZoomBoxSvgPath(const PixelRect& source);

}  // namespace zelk
