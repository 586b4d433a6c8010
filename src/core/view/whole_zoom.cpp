#include "core/view/whole_zoom.h"

#include <algorithm>
#include <cmath>

namespace zelk {

int WholeZoomUp(int current, double fitted_scale) {
  for (const int k : kWholeMagnifications)
    if (current == 0 ? k > fitted_scale : k > current) return k;
  return current;
}

int WholeZoomDown(int current, double fitted_scale) {
  int below = 0;
  for (const int k : kWholeMagnifications)
    if (k < current && k > fitted_scale) below = k;
  return below;
}

AxisMapping ZoomAxisAt(int v, std::int64_t p, int k, double fraction) {
  const int block = std::max(k, 1);
  const double f = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
  const std::int64_t into_block =
      std::min<std::int64_t>(static_cast<std::int64_t>(std::floor(f * block)), block - 1);
  // The block of p starts at view pixel v - into_block.
  return WholeMagnificationAxis(p * block - (v - into_block), block);
}

double PointerFraction(const AxisMapping& axis, int v) {
  if (!axis.HasSpan()) return 0.0;
  const double position = static_cast<double>(v + axis.phase) * axis.source_span / axis.view_span;
  const double whole = std::floor(position);
  if (axis.origin + static_cast<std::int64_t>(whole) > axis.last) return std::nextafter(1.0, 0.0);
  return std::clamp(position - whole, 0.0, std::nextafter(1.0, 0.0));
}

ViewMapping ZoomAt(const ViewMapping& current, int x, int y, int k) {
  return {ZoomAxisAt(x, current.x.Source(x), k, PointerFraction(current.x, x)),
          ZoomAxisAt(y, current.y.Source(y), k, PointerFraction(current.y, y))};
}

namespace {

AxisMapping PanAxis(const AxisMapping& axis, int d, int view_size, int image_size) {
  const std::int64_t k = std::max<std::int64_t>(static_cast<std::int64_t>(axis.view_span), 1);
  const std::int64_t offset = AxisOffset(axis);
  const std::int64_t spare = std::int64_t{image_size} * k - view_size;
  // Offsets that keep the view covered (spare >= 0) or the picture inside (spare < 0).
  std::int64_t low = std::min<std::int64_t>(0, spare), high = std::max<std::int64_t>(0, spare);
  low = std::min(low, offset);
  high = std::max(high, offset);
  return WholeMagnificationAxis(std::clamp(offset - d, low, high), static_cast<int>(k));
}

}  // namespace

ViewMapping PanWholeZoom(const ViewMapping& mapping, int dx, int dy, int view_w, int view_h,
                         int image_w, int image_h) {
  return {PanAxis(mapping.x, dx, view_w, image_w), PanAxis(mapping.y, dy, view_h, image_h)};
}

}  // namespace zelk
