#include "expected_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zelk::e2e {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

// View pixel i of n over a source span of m pixels shows source pixel floor(i m / n):
// the pixel the pointer readout names there.
int SourceIndex(int i, int m, int n) {
  return static_cast<int>(static_cast<std::int64_t>(i) * m / n);
}

}  // namespace

Bitmap PatternImage(int width, int height, int seed) {
  Bitmap image;
  image.Reset(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t r = (x * 37 + seed * 11) & 0xFF;
      const std::uint32_t g = (y * 53 + seed * 29) & 0xFF;
      const std::uint32_t b = ((x + y) * 97 + (x * y) * 3 + seed) & 0xFF;
      image.SetPixelRgb(x, y, r << 16 | g << 8 | b);
    }
  return image;
}

Bitmap ExpectedZoomedView(const Bitmap& src, PixelRect rect, int view_width, int view_height,
                          bool square_blocks) {
  Bitmap view;
  view.Reset(view_width, view_height);
  const int m_x = rect.right - rect.left, m_y = rect.bottom - rect.top;
  for (int y = 0; y < view_height; ++y) {
    // Square blocks: the rows go at the columns' rate, never past the rectangle.
    const int sy = square_blocks ? rect.top + std::min(m_y - 1, SourceIndex(y, m_x, view_width))
                                 : rect.top + SourceIndex(y, m_y, view_height);
    for (int x = 0; x < view_width; ++x) {
      const int sx = rect.left + SourceIndex(x, m_x, view_width);
      const bool inside = sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height();
      view.SetPixelRgb(x, y, inside ? src.PixelRgb(sx, sy) : kWhite);
    }
  }
  return view;
}

Bitmap ExpectedFittedView(const Bitmap& src, int view_width, int view_height) {
  const double scale = std::min(static_cast<double>(view_height) / src.Height(),
                                static_cast<double>(view_width) / src.Width());
  // View pixel v shows source pixel floor(v / scale), white beyond the image.
  Bitmap view;
  view.Reset(view_width, view_height);
  for (int y = 0; y < view_height; ++y) {
    const auto sy = static_cast<std::int64_t>(std::floor(y / scale));
    for (int x = 0; x < view_width; ++x) {
      const auto sx = static_cast<std::int64_t>(std::floor(x / scale));
      if (sx < src.Width() && sy < src.Height())
        view.SetPixelRgb(x, y, src.PixelRgb(static_cast<int>(sx), static_cast<int>(sy)));
    }
  }
  return view;
}

Bitmap ExpectedActualSizeView(const Bitmap& src, int view_width, int view_height) {
  Bitmap view;
  view.Reset(view_width, view_height);
  for (int y = 0; y < std::min(src.Height(), view_height); ++y)
    for (int x = 0; x < std::min(src.Width(), view_width); ++x)
      view.SetPixelRgb(x, y, src.PixelRgb(x, y));
  return view;
}

std::string Difference(const Bitmap& actual, const Bitmap& expected, const PixelRect* ignore_box,
                       int slack) {
  char text[200];
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
    std::snprintf(text, sizeof text, "size %dx%d, expected %dx%d", actual.Width(), actual.Height(),
                  expected.Width(), expected.Height());
    return text;
  }
  auto on_outline = [&](int x, int y) {
    if (!ignore_box) return false;
    const PixelRect& b = *ignore_box;
    const bool near_x = x >= b.left - slack && x <= b.right + slack;
    const bool near_y = y >= b.top - slack && y <= b.bottom + slack;
    return (near_x && (std::abs(y - b.top) <= slack || std::abs(y - b.bottom) <= slack)) ||
           (near_y && (std::abs(x - b.left) <= slack || std::abs(x - b.right) <= slack));
  };
  long count = 0;
  int fx = -1, fy = -1;
  for (int y = 0; y < actual.Height(); ++y)
    for (int x = 0; x < actual.Width(); ++x) {
      if (actual.PixelRgb(x, y) == expected.PixelRgb(x, y) || on_outline(x, y)) continue;
      if (count++ == 0) fx = x, fy = y;
    }
  if (count == 0) return {};
  std::snprintf(text, sizeof text, "%ld pixels differ; first at (%d, %d): %06X, expected %06X",
                count, fx, fy, actual.PixelRgb(fx, fy), expected.PixelRgb(fx, fy));
  return text;
}

}  // namespace zelk::e2e
