#pragma once
// The picture of the view control: one 32-bit pixel per device pixel, 0xFFRRGGBB
// (the layout of QImage::Format_RGB32), so the widget paints it without a copy.

#include <cstdint>
#include <vector>

namespace zelk {

class ViewImage {
 public:
  ViewImage() = default;
  // Makes the picture width x height, every pixel white (negative sizes count as 0).
  void Reset(int width, int height);
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }
  std::uint32_t* Row(int y) noexcept {
    return pixels_.data() + static_cast<std::size_t>(y) * width_;
  }
  const std::uint32_t* Row(int y) const noexcept {
    return pixels_.data() + static_cast<std::size_t>(y) * width_;
  }
  std::uint32_t* Data() noexcept { return pixels_.data(); }
  const std::uint32_t* Data() const noexcept { return pixels_.data(); }
  // 0x00RRGGBB of (x, y); white outside the picture.
  std::uint32_t PixelRgb(int x, int y) const noexcept;
  void FillWhite() noexcept;

 private:
  std::vector<std::uint32_t> pixels_;
  int width_ = 0;
  int height_ = 0;
};

inline constexpr std::uint32_t kViewWhite = 0xFFFFFFFFu;

}  // namespace zelk
