#include "core/view/readout.h"

#include <cmath>

#include "support/support.h"

namespace zelk {
namespace {

// One axis of the zoomed readout: low..high is the box side in view pixels, v the
// pointer, extent the view's size along the axis.
int ZoomedAxis(int low, int high, int v, double scale, int extent) {
  const double span = static_cast<double>(high) - low;
  const double share = extent > 0 ? span * v / scale / extent : 0.0;
  int s = TruncToInt(std::floor(TruncToInt(low / scale) + share));
  const int last = TruncToInt(high / scale - 1);
  if (s > last) s = last;
  return s;
}

std::string PointText(const SourcePoint& point) {
  return "[X: " + FormatWholeNumber(point.X) + " Y: " + FormatWholeNumber(point.Y) + "]";
}

}  // namespace

SourcePoint ReadoutPoint(bool zoomed, int x, int y, double scale, const ZoomBox& box, int view_w,
                         int view_h) {
  if (!zoomed) return {TruncToInt(x / scale), TruncToInt(y / scale)};
  return {ZoomedAxis(box.Left, box.Right, x, scale, view_w),
          ZoomedAxis(box.Top, box.Bottom, y, scale, view_h)};
}

std::string ColourReadoutText(const SourcePoint& point, const std::string& named_colour) {
  return "HTML Colour at " + PointText(point) + "=#" + named_colour;
}

std::string ColourReadoutFailureText(const SourcePoint& point) {
  return PointText(point);
}

std::string ZoomBoxReadoutText(const ZoomBox& box, double scale) {
  if (box.Empty()) return {};
  const PixelRect r = SourceRect(box, scale);
  return "   Zoom Box on Coords (L:" + FormatWholeNumber(r.Left) +
         " T: " + FormatWholeNumber(r.Top) + " R: " + FormatWholeNumber(r.Right) +
         " B: " + FormatWholeNumber(r.Bottom) + ")";
}

}  // namespace zelk
