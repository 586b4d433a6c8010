#include "core/view/readout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "support/support.h"

namespace zelk {
namespace {

int ToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

std::string PointText(const SourcePoint& point) {
  return "[X: " + FormatWholeNumber(point.X) + " Y: " + FormatWholeNumber(point.Y) + "]";
}

}  // namespace

SourcePoint ReadoutPoint(const ViewMapping& mapping, int x, int y) {
  return {ToInt(mapping.x.Source(x)), ToInt(mapping.y.Source(y))};
}

ViewMapping CurrentViewMapping(bool zoomed, double scale, const ZoomBox& box, int view_w,
                               int view_h) {
  return zoomed ? ZoomBoxViewMapping(box, scale, view_w, view_h) : FittedViewMapping(scale);
}

SourcePoint ReadoutPoint(bool zoomed, int x, int y, double scale, const ZoomBox& box, int view_w,
                         int view_h) {
  return ReadoutPoint(CurrentViewMapping(zoomed, scale, box, view_w, view_h), x, y);
}

std::string ColourReadoutText(const SourcePoint& point, const std::string& named_colour) {
  return "HTML Colour at " + PointText(point) + "=#" + named_colour;
}

std::string ColourReadoutFailureText(const SourcePoint& point) {
  return PointText(point);
}

std::string ZoomBoxReadoutText(const ZoomBox& box, double scale) {
  if (box.Empty()) return {};
  return ZoomBoxReadoutText(SourceRect(box, scale));
}

std::string ZoomBoxReadoutText(const PixelRect& r) {
  return "   Zoom Box on Coords (L:" + FormatWholeNumber(r.Left) +
         " T: " + FormatWholeNumber(r.Top) + " R: " + FormatWholeNumber(r.Right) +
         " B: " + FormatWholeNumber(r.Bottom) + ")";
}

}  // namespace zelk
