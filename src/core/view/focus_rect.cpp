#include "core/view/focus_rect.h"

#include <algorithm>
#include <cstdint>

namespace zelk {
namespace {

constexpr std::uint32_t kInvert = 0x00FFFFFFu;

bool Dotted(std::int64_t x, std::int64_t y) {
  return ((x + y) & 1) == 0;
}

// Inverts the dotted pixels of row y from x0 to x1 (exclusive), clipped to the view.
void InvertRow(ViewImage& view, std::int64_t y, std::int64_t x0, std::int64_t x1) {
  if (y < 0 || y >= view.Height()) return;
  x0 = std::max<std::int64_t>(x0, 0);
  x1 = std::min<std::int64_t>(x1, view.Width());
  std::uint32_t* row = view.Row(static_cast<int>(y));
  for (std::int64_t x = x0 + (Dotted(x0, y) ? 0 : 1); x < x1; x += 2) row[x] ^= kInvert;
}

// Inverts the dotted pixels of column x from y0 to y1 (exclusive), clipped to the view.
void InvertColumn(ViewImage& view, std::int64_t x, std::int64_t y0, std::int64_t y1) {
  if (x < 0 || x >= view.Width()) return;
  y0 = std::max<std::int64_t>(y0, 0);
  y1 = std::min<std::int64_t>(y1, view.Height());
  for (std::int64_t y = y0 + (Dotted(x, y0) ? 0 : 1); y < y1; y += 2)
    view.Row(static_cast<int>(y))[x] ^= kInvert;
}

}  // namespace

void DrawFocusRect(ViewImage& view, const ZoomBox& rect) {
  if (rect.Empty()) return;
  const std::int64_t left = std::min(rect.Left, rect.Right);
  const std::int64_t right = std::max(rect.Left, rect.Right);
  const std::int64_t top = std::min(rect.Top, rect.Bottom);
  const std::int64_t bottom = std::max(rect.Top, rect.Bottom);
  // Top and bottom rows take the corners; the side columns only the pixels between.
  InvertRow(view, top, left, right);
  if (bottom - 1 > top) InvertRow(view, bottom - 1, left, right);
  InvertColumn(view, left, top + 1, bottom - 1);
  if (right - 1 > left) InvertColumn(view, right - 1, top + 1, bottom - 1);
}

}  // namespace zelk
