#include "core/view/blit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zelk {
namespace {

// floor(a / b) for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

// Which source pixel each of the first `count` destination pixels of a span of n
// takes (span of m source pixels from src0): -1 where that pixel lies outside
// 0..source_size-1. Walks the centre-sampling formula incrementally so that no
// product can overflow whatever the sizes.
std::vector<std::int32_t> AxisMap(std::int64_t src0, std::int64_t m, std::int64_t n, int count,
                                  int source_size) {
  std::vector<std::int32_t> map(static_cast<std::size_t>(std::max(count, 0)), -1);
  if (count <= 0 || n <= 0 || m == 0) return map;
  const std::int64_t d = 2 * n;
  std::int64_t q = FloorDiv(m, d);  // floor((2i + 1) m / 2n) for i = 0
  std::int64_t r = m - q * d;       // remainder, 0 <= r < d
  const std::int64_t step_q = FloorDiv(2 * m, d);
  const std::int64_t step_r = 2 * m - step_q * d;
  for (int i = 0; i < count; ++i) {
    const std::int64_t s = src0 + q;
    if (s >= 0 && s < source_size) map[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(s);
    q += step_q;
    r += step_r;
    if (r >= d) {
      ++q;
      r -= d;
    }
  }
  return map;
}

inline std::uint32_t ViewPixelBytes(const std::uint8_t* p) {
  return 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

// Reads four bytes at once; only for pixels that are not the last of their row, so the
// extra byte is the next pixel's blue and never padding or past the bitmap.
inline std::uint32_t ViewPixelWide(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return 0xFF000000u | v;
}

// The view columns that show the bitmap, precomputed once per blit.
class ColumnPlan {
 public:
  ColumnPlan(const std::vector<std::int32_t>& map, int source_width) {
    const auto inside = [](std::int32_t s) { return s >= 0; };
    const auto begin = std::find_if(map.begin(), map.end(), inside);
    if (begin == map.end()) return;
    const auto end = std::find_if(map.rbegin(), map.rend(), inside).base();
    first_ = static_cast<int>(begin - map.begin());
    last_ = static_cast<int>(end - map.begin());
    // The centre-sampling map is monotonic, so the columns inside form one range.
    const std::int32_t last_column_offset = (source_width - 1) * 3;
    for (auto it = begin; it != end; ++it) {
      const std::int32_t offset = *it * 3;
      if (runs_.empty() || runs_.back().offset != offset) {
        runs_.push_back({offset, 1, offset != last_column_offset});
      } else {
        ++runs_.back().length;
      }
    }
    magnified_ = static_cast<int>(runs_.size()) < last_ - first_;
  }

  // Fills one view row from one bitmap row; white outside the bitmap's columns.
  void DrawRow(const std::uint8_t* src_row, std::uint32_t* dst, int view_width) const {
    std::fill(dst, dst + first_, kViewWhite);
    std::uint32_t* out = dst + first_;
    if (magnified_) {
      for (const Run& run : runs_) {
        const std::uint32_t pixel = ViewPixelBytes(src_row + run.offset);
        std::fill(out, out + run.length, pixel);
        out += run.length;
      }
    } else {
      for (const Run& run : runs_) {
        *out++ =
            run.wide ? ViewPixelWide(src_row + run.offset) : ViewPixelBytes(src_row + run.offset);
      }
    }
    std::fill(dst + last_, dst + view_width, kViewWhite);
  }

 private:
  struct Run {
    std::int32_t offset;  // byte offset of the source pixel in its row
    std::int32_t length;  // view pixels that show it
    bool wide;            // four-byte read allowed
  };
  std::vector<Run> runs_;
  int first_ = 0;
  int last_ = 0;
  bool magnified_ = false;
};

// Draws the view from the two axis maps; view rows showing the same source row as
// the row above are copied from it.
void DrawMapped(const Bitmap& src, ViewImage& view, const std::vector<std::int32_t>& columns,
                const std::vector<std::int32_t>& rows) {
  const int width = view.Width();
  const int height = view.Height();
  if (width <= 0 || height <= 0) return;
  const ColumnPlan plan(columns, src.Width());
  for (int y = 0; y < height; ++y) {
    const std::int32_t source_row = rows[static_cast<std::size_t>(y)];
    std::uint32_t* dst = view.Row(y);
    if (y > 0 && source_row == rows[static_cast<std::size_t>(y) - 1]) {
      std::memcpy(dst, view.Row(y - 1), static_cast<std::size_t>(width) * sizeof(std::uint32_t));
    } else if (source_row < 0) {
      std::fill(dst, dst + width, kViewWhite);
    } else {
      plan.DrawRow(src.Row(source_row), dst, width);
    }
  }
}

// Positions past the span's end (the view being larger than the span) map nowhere.
std::vector<std::int32_t> ClippedAxisMap(std::int64_t src0, std::int64_t m, int span, int count,
                                         int source_size) {
  std::vector<std::int32_t> map =
      AxisMap(src0, m, span, std::min(std::max(span, 0), count), source_size);
  map.resize(static_cast<std::size_t>(std::max(count, 0)), -1);
  return map;
}

}  // namespace

void StretchToView(const Bitmap& src, ViewImage& view, int dst_w, int dst_h) {
  if (src.Empty() || src.Data() == nullptr || dst_w <= 0 || dst_h <= 0) {
    view.FillWhite();
    return;
  }
  const auto columns = ClippedAxisMap(0, src.Width(), dst_w, view.Width(), src.Width());
  const auto rows = ClippedAxisMap(0, src.Height(), dst_h, view.Height(), src.Height());
  DrawMapped(src, view, columns, rows);
}

void CopySourceRectToView(const Bitmap& src, int left, int top, int right, int bottom,
                          ViewImage& view) {
  if (src.Empty() || src.Data() == nullptr) {
    view.FillWhite();
    return;
  }
  const std::int64_t m_x = std::int64_t{right} - left;
  const std::int64_t m_y = std::int64_t{bottom} - top;
  const auto columns = AxisMap(left, m_x, view.Width(), view.Width(), src.Width());
  const auto rows = AxisMap(top, m_y, view.Height(), view.Height(), src.Height());
  DrawMapped(src, view, columns, rows);
}

}  // namespace zelk
