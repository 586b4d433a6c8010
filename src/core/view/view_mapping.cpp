#include "core/view/view_mapping.h"

#include <algorithm>
#include <cmath>

namespace zelk {
namespace {

constexpr double kInt64Bound = 4.6e18;  // well inside the int64 range, far past any image

std::int64_t FloorToInt64(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<std::int64_t>(std::clamp(std::floor(value), -kInt64Bound, kInt64Bound));
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  if (b > 0 && a > kMax - b) return kMax;
  if (b < 0 && a < kMin - b) return kMin;
  return a + b;
}

// True when ratio lies within rounding of the whole number it rounds to (at least min).
bool NearWhole(double ratio, double min, double* whole) {
  const double k = std::round(ratio);
  if (!(k >= min) || k > 1 << 30) return false;
  *whole = k;
  return std::abs(ratio - k) <= 1e-9 * k;
}

}  // namespace

bool AxisMapping::HasSpan() const {
  return std::isfinite(source_span) && std::isfinite(view_span) && view_span > 0 &&
         source_span != 0;
}

std::int64_t AxisMapping::Source(std::int64_t v) const {
  std::int64_t s = origin;
  if (HasSpan()) {
    const double position = static_cast<double>(SaturatingAdd(v, phase));
    s = SaturatingAdd(origin, FloorToInt64(position * source_span / view_span));
  }
  return std::min(s, last);
}

int AxisMapping::ShownExtent(int size) const {
  constexpr std::int64_t kMax = std::numeric_limits<int>::max();
  if (size <= 0 || Source(0) >= size) return 0;
  if (!HasSpan() || source_span < 0) return static_cast<int>(kMax);
  // Start from the exact answer of the real-number formula and step to where this
  // axis's own arithmetic crosses the edge.
  const double estimate =
      std::ceil((static_cast<double>(size) - origin) * view_span / source_span) - phase;
  std::int64_t v = FloorToInt64(std::clamp(estimate, 0.0, static_cast<double>(kMax)));
  while (v > 0 && Source(v - 1) >= size) --v;
  while (v < kMax && Source(v) < size) ++v;
  return static_cast<int>(v);
}

AxisMapping ScaledAxis(std::int64_t origin, double source_span, double view_span,
                       std::int64_t last) {
  AxisMapping axis{origin, source_span, view_span, 0, last};
  if (!(source_span > 0) || !(view_span > 0) || !std::isfinite(source_span) ||
      !std::isfinite(view_span))
    return axis;
  double k = 0;
  if (NearWhole(view_span / source_span, 1, &k)) {
    axis.source_span = 1;
    axis.view_span = k;
  } else if (NearWhole(source_span / view_span, 2, &k)) {
    axis.source_span = k;
    axis.view_span = 1;
  }
  return axis;
}

AxisMapping WholeMagnificationAxis(std::int64_t offset, int k) {
  const std::int64_t block = std::max(k, 1);
  std::int64_t origin = offset / block;
  if (offset % block != 0 && offset < 0) --origin;
  return {origin, 1.0, static_cast<double>(block), offset - origin * block, AxisMapping::kNoLimit};
}

std::int64_t AxisOffset(const AxisMapping& axis) {
  return axis.origin * static_cast<std::int64_t>(axis.view_span) + axis.phase;
}

ViewMapping FittedViewMapping(double scale) {
  return {ScaledAxis(0, 1, scale), ScaledAxis(0, 1, scale)};
}

namespace {

// One side of a box: from trunc(low / scale) over (high - low) / scale source pixels,
// limited to the last pixel the box reaches into.
AxisMapping BoxAxis(int low, int high, double scale, int view_size) {
  const std::int64_t origin = TruncToInt(low / scale);
  const std::int64_t last = std::max<std::int64_t>(TruncToInt(high / scale - 1), origin);
  const double span = view_size > 0 ? (static_cast<double>(high) - low) / scale : 0.0;
  return ScaledAxis(origin, span, std::max(view_size, 1), last);
}

}  // namespace

ViewMapping ZoomBoxViewMapping(const ZoomBox& box, double scale, int view_w, int view_h) {
  if (!(scale > 0)) return {};
  ViewMapping mapping{BoxAxis(box.Left, box.Right, scale, view_w),
                      BoxAxis(box.Top, box.Bottom, scale, view_h)};
  const double width = static_cast<double>(box.Right) - box.Left;
  const double height = static_cast<double>(box.Bottom) - box.Top;
  if (view_w > 0 && view_h > 0 && width > 0 && height > 0 &&
      std::abs(height - width * view_h / view_w) <= 1.0) {
    // The height is the view's shape of the width, truncated to a whole pixel: the
    // blocks follow the width, as the magnification does, and come out square.
    mapping.y.source_span = mapping.x.source_span;
    mapping.y.view_span = mapping.x.view_span;
  }
  return mapping;
}

PixelRect ShownImageRect(const ViewMapping& mapping, int view_w, int view_h, int image_w,
                         int image_h) {
  const auto clip = [](std::int64_t v, int size) {
    return static_cast<int>(std::clamp<std::int64_t>(v, 0, size));
  };
  PixelRect shown{clip(mapping.x.Source(0), image_w), clip(mapping.y.Source(0), image_h),
                  clip(mapping.x.Source(view_w - 1) + 1, image_w),
                  clip(mapping.y.Source(view_h - 1) + 1, image_h)};
  if (shown.Right <= shown.Left || shown.Bottom <= shown.Top) return {};
  return shown;
}

}  // namespace zelk
