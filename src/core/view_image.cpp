#include "core/view_image.h"

#include <algorithm>

namespace zelk {

void ViewImage::Reset(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<std::size_t>(width_) * height_, kViewWhite);
}

std::uint32_t ViewImage::PixelRgb(int x, int y) const noexcept {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFFFFFFu;
  return Row(y)[x] & 0xFFFFFFu;
}

void ViewImage::FillWhite() noexcept {
  std::fill(pixels_.begin(), pixels_.end(), kViewWhite);
}

}  // namespace zelk
