#include "core/view/pixel_grid.h"

#include <cstdint>
#include <vector>

namespace zelk {
namespace {

// Whether each of the first `count` view pixels starts a block that follows another
// block of the image; `inside` says whether it shows the image at all.
void GridLines(const AxisMapping& axis, int count, int size, std::vector<char>& line,
               std::vector<char>& inside) {
  line.assign(static_cast<std::size_t>(count), 0);
  inside.assign(static_cast<std::size_t>(count), 0);
  std::int64_t previous = axis.Source(-1);
  for (int v = 0; v < count; ++v) {
    const std::int64_t s = axis.Source(v);
    const bool in = s >= 0 && s < size;
    inside[static_cast<std::size_t>(v)] = in;
    line[static_cast<std::size_t>(v)] = in && s != previous && previous >= 0 && previous < size;
    previous = s;
  }
}

// Black over light pixels, white over dark ones (Rec. 601 luma against mid-grey).
std::uint32_t Contrasting(std::uint32_t pixel) {
  const std::uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  return 299 * r + 587 * g + 114 * b >= 128 * 1000 ? 0xFF000000u : 0xFFFFFFFFu;
}

}  // namespace

void DrawPixelGrid(ViewImage& view, const ViewMapping& mapping, int image_w, int image_h) {
  if (!mapping.x.HasSpan() || !mapping.y.HasSpan() ||
      mapping.x.Magnification() < kPixelGridMinBlock ||
      mapping.y.Magnification() < kPixelGridMinBlock)
    return;
  std::vector<char> column_line, column_inside, row_line, row_inside;
  GridLines(mapping.x, view.Width(), image_w, column_line, column_inside);
  GridLines(mapping.y, view.Height(), image_h, row_line, row_inside);
  std::vector<int> columns;  // the grid's columns, visited on every row of the image
  for (int x = 0; x < view.Width(); ++x)
    if (column_line[static_cast<std::size_t>(x)]) columns.push_back(x);
  for (int y = 0; y < view.Height(); ++y) {
    if (!row_inside[static_cast<std::size_t>(y)]) continue;
    std::uint32_t* row = view.Row(y);
    if (row_line[static_cast<std::size_t>(y)]) {
      for (int x = 0; x < view.Width(); ++x)
        if (column_inside[static_cast<std::size_t>(x)]) row[x] = Contrasting(row[x]);
    } else {
      for (const int x : columns) row[x] = Contrasting(row[x]);
    }
  }
}

}  // namespace zelk
