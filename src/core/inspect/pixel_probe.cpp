#include "core/inspect/pixel_probe.h"

#include <algorithm>

namespace zelk {

Neighbourhood NeighbourhoodOf(const Bitmap& bitmap, std::int64_t x, std::int64_t y) {
  Neighbourhood around{};
  for (int j = 0; j < kNeighbourhoodSide; ++j)
    for (int i = 0; i < kNeighbourhoodSide; ++i) {
      const std::int64_t nx = x + i - kNeighbourhoodRadius, ny = y + j - kNeighbourhoodRadius;
      if (nx < 0 || ny < 0 || nx >= bitmap.Width() || ny >= bitmap.Height()) continue;
      around[static_cast<std::size_t>(j) * kNeighbourhoodSide + static_cast<std::size_t>(i)] = {
          true, bitmap.PixelRgb(static_cast<int>(nx), static_cast<int>(ny))};
    }
  return around;
}

Hsv HsvOf(std::uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  const int max = std::max({r, g, b}), min = std::min({r, g, b});
  const int delta = max - min;
  Hsv hsv;
  hsv.value = max / 255.0;
  if (delta == 0) return hsv;
  hsv.saturation = static_cast<double>(delta) / max;
  double sector;
  if (max == r) {
    sector = static_cast<double>(g - b) / delta;
  } else if (max == g) {
    sector = 2.0 + static_cast<double>(b - r) / delta;
  } else {
    sector = 4.0 + static_cast<double>(r - g) / delta;
  }
  hsv.hue = sector * 60.0;
  if (hsv.hue < 0) hsv.hue += 360.0;
  return hsv;
}

}  // namespace zelk
