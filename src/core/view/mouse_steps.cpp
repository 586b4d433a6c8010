#include "core/view/mouse_steps.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zelk {
namespace {

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

// The pointer position along one axis after the limits: the box side low..high moves
// by anchor - pointer, but not below 0 nor, when that holds, beyond the extent.
std::int64_t LimitedPointer(std::int64_t low, std::int64_t high, std::int64_t anchor,
                            std::int64_t pointer, std::int64_t extent) {
  if (low + anchor - pointer < 0) return low + anchor;
  if (high + anchor - pointer > extent) return high + anchor - extent;
  return pointer;
}

}  // namespace

ZoomBox TrackZoomBox(const ZoomBox& box, int x, int y, bool enforce_aspect, int view_w,
                     int view_h) {
  ZoomBox next = box;
  if (next.Left > x) {
    next.Right = next.Left;
    next.Left = x;
  } else {
    next.Right = x;
  }
  if (next.Top > y) {
    next.Bottom = next.Top;
    next.Top = y;
  } else {
    next.Bottom = y;
  }
  if (enforce_aspect && view_w > 0) {
    next.Bottom = TruncToInt(next.Top + (static_cast<double>(next.Right) - next.Left) * view_h /
                                            static_cast<double>(view_w));
  }
  return next;
}

PanStepResult PanStep(const ZoomBox& box, const PanAnchor& anchor, int x, int y, int displayed_w,
                      int displayed_h) {
  if (x == anchor.X && y == anchor.Y) return {false, box, anchor};
  const std::int64_t px = LimitedPointer(box.Left, box.Right, anchor.X, x, displayed_w);
  const std::int64_t py = LimitedPointer(box.Top, box.Bottom, anchor.Y, y, displayed_h);
  const std::int64_t dx = anchor.X - px;
  const std::int64_t dy = anchor.Y - py;
  PanStepResult result;
  result.Render = true;
  result.Box = {ClampToInt(box.Left + dx), ClampToInt(box.Top + dy), ClampToInt(box.Right + dx),
                ClampToInt(box.Bottom + dy)};
  result.Anchor = {ClampToInt(px), ClampToInt(py)};
  return result;
}

}  // namespace zelk
