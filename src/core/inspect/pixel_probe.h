#pragma once
// What the pixel inspector shows about one pixel: its 9 x 9 neighbourhood and the
// HSV form of a colour.

#include <array>
#include <cstdint>

#include "platform/bitmap.h"

namespace zelk {

inline constexpr int kNeighbourhoodRadius = 4;
inline constexpr int kNeighbourhoodSide = 2 * kNeighbourhoodRadius + 1;

struct NeighbourPixel {
  bool inside = false;    // false where the neighbour lies outside the image
  std::uint32_t rgb = 0;  // 0x00RRGGBB when inside
  friend bool operator==(const NeighbourPixel&, const NeighbourPixel&) = default;
};

// Row by row from (x - 4, y - 4); the pixel itself at [4 * 9 + 4]. (x, y) may lie
// outside the image too.
using Neighbourhood = std::array<NeighbourPixel, kNeighbourhoodSide * kNeighbourhoodSide>;
Neighbourhood NeighbourhoodOf(const Bitmap& bitmap, std::int64_t x, std::int64_t y);

struct Hsv {
  double hue = 0.0;         // degrees, 0 <= hue < 360 (0 for greys)
  double saturation = 0.0;  // 0..1
  double value = 0.0;       // 0..1
};

// HSV of 0x00RRGGBB.
Hsv HsvOf(std::uint32_t rgb);

}  // namespace zelk
