#include "core/view/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/view/view_mapping.h"

namespace zelk {

int TruncToInt(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kMin = std::numeric_limits<int>::min();
  constexpr double kMax = std::numeric_limits<int>::max();
  if (value <= kMin) return std::numeric_limits<int>::min();
  if (value >= kMax) return std::numeric_limits<int>::max();
  return static_cast<int>(value);  // truncates toward zero
}

double FitViewScale(int view_w, int view_h, int image_w, int image_h, bool actual_size) {
  if (actual_size || image_w <= 0 || image_h <= 0) return 1.0;
  const double w = std::max(view_w, 1);
  const double h = std::max(view_h, 1);
  double scale = h / image_h;
  const double width_ratio = w / image_w;
  if (width_ratio < scale) scale = width_ratio;
  return scale;
}

ZoomBox RescaleZoomBox(const ZoomBox& box, double old_scale, double new_scale) {
  if (!(old_scale > 0)) return box;
  const double factor = new_scale / old_scale;
  if (!std::isfinite(factor)) return box;
  auto rescale = [factor](int v) { return TruncToInt(v * factor + 0.5); };
  return {rescale(box.Left), rescale(box.Top), rescale(box.Right), rescale(box.Bottom)};
}

bool ZoomBoxUsable(const ZoomBox& box, double scale) {
  if (!(scale > 0)) return false;
  return box.Right / scale >= box.Left / scale + 1 && box.Bottom / scale >= box.Top / scale + 1 &&
         box.Left >= 0 && box.Top >= 0;
}

int DisplayedExtent(int image_size, double scale) {
  if (!(scale > 0) || image_size <= 0) return 0;
  return FittedViewMapping(scale).x.ShownExtent(image_size);
}

namespace {

// The fewest view pixels from 0 that span at least one source pixel, as ZoomBoxUsable
// counts it.
int SmallestUsableSide(double scale) {
  if (!(scale > 0)) return 1;
  int side = std::max(1, TruncToInt(std::ceil(scale)));
  while (side < std::numeric_limits<int>::max() && side / scale < 1) ++side;
  return side;
}

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

}  // namespace

ZoomBox DefaultZoomBox(int view_w, int view_h, int image_w, int image_h, double scale,
                       bool enforce_aspect) {
  ZoomBox box;
  // However small the image shows, the box spans a source pixel each way, so Zoom In
  // always has something to show and a positive magnification.
  const int least = SmallestUsableSide(scale);
  box.Right = std::max(std::min(view_w, DisplayedExtent(image_w, scale)) - 1, least);
  box.Bottom = std::max(std::min(view_h, DisplayedExtent(image_h, scale)) - 1, least);
  if (enforce_aspect && view_w > 0) {
    // Whole-number arithmetic with truncating division, widened so that no view size
    // can overflow the product.
    std::int64_t height = static_cast<std::int64_t>(box.Right - box.Left) * view_h / view_w;
    if (height < least && view_h > 0) {
      // Too flat to span a source pixel: widen the box until its view-shaped height does.
      const std::int64_t width = (static_cast<std::int64_t>(least) * view_w + view_h - 1) / view_h;
      box.Right = ClampToInt(box.Left + width);
      height = width * view_h / view_w;
    }
    box.Bottom = ClampToInt(height + box.Top);
  }
  return box;
}

PixelRect SourceRect(const ZoomBox& box, double scale) {
  return {TruncToInt(box.Left / scale), TruncToInt(box.Top / scale), TruncToInt(box.Right / scale),
          TruncToInt(box.Bottom / scale)};
}

double ZoomMagnification(int view_w, double scale, const ZoomBox& box) {
  const double width = static_cast<double>(box.Right) - box.Left;
  if (width == 0) return 0.0;
  return view_w * scale / width;
}

bool PointOutsideImage(bool loading, int x, int y, double scale, int image_w, int image_h) {
  if (loading || x < 0 || y < 0) return true;
  return x / scale > image_w || y / scale > image_h;
}

}  // namespace zelk
