#include "core/view/blit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace zelk {
namespace {

// Which source pixel each of the first `count` view pixels along one axis shows: -1
// where that pixel lies outside 0..source_size-1 (drawn white). The mapping is
// evaluated for every view pixel, exactly as the readout evaluates it.
std::vector<std::int32_t> AxisTable(const AxisMapping& axis, int count, int source_size) {
  std::vector<std::int32_t> map(static_cast<std::size_t>(std::max(count, 0)), -1);
  if (!axis.HasSpan()) return map;
  for (int i = 0; i < count; ++i) {
    const std::int64_t s = axis.Source(i);
    if (s >= 0 && s < source_size) map[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(s);
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
    // A mapping is monotonic, so the columns inside form one range, and the view
    // pixels showing the bitmap's last column (which must not be read four bytes wide)
    // sit at one end of it.
    const std::int32_t last_column_offset = (source_width - 1) * 3;
    offsets_.reserve(static_cast<std::size_t>(last_ - first_));
    for (auto it = begin; it != end; ++it) {
      const std::int32_t offset = *it * 3;
      if (runs_.empty() || runs_.back().offset != offset) {
        runs_.push_back({offset, 1});
      } else {
        ++runs_.back().length;
      }
      offsets_.push_back(offset);
    }
    const auto wide = [last_column_offset](std::int32_t o) { return o != last_column_offset; };
    wide_begin_ =
        static_cast<int>(std::find_if(offsets_.begin(), offsets_.end(), wide) - offsets_.begin());
    wide_end_ = static_cast<int>(std::find_if(offsets_.rbegin(), offsets_.rend(), wide).base() -
                                 offsets_.begin());
    if (wide_end_ < wide_begin_) wide_end_ = wide_begin_;
    // Should a map ever not be monotonic, every pixel is read on its own rather than
    // reading past the end of a row.
    if (std::find(offsets_.begin() + wide_begin_, offsets_.begin() + wide_end_,
                  last_column_offset) != offsets_.begin() + wide_end_)
      wide_begin_ = wide_end_ = static_cast<int>(offsets_.size());
    // Long runs are filled; otherwise each view pixel is fetched on its own.
    use_runs_ = runs_.size() * 4 <= offsets_.size();
  }

  // Fills one view row from one bitmap row; white outside the bitmap's columns. While
  // it works through the row it asks for the same bytes of next_row (when given), so
  // that a reduced large image streams from memory alongside the work.
  void DrawRow(const std::uint8_t* src_row, const std::uint8_t* next_row, std::uint32_t* dst,
               int view_width) const {
    std::fill(dst, dst + first_, kViewWhite);
    std::uint32_t* out = dst + first_;
    if (use_runs_) {
      for (const Run& run : runs_) {
        const std::uint32_t pixel = ViewPixelBytes(src_row + run.offset);
        std::fill(out, out + run.length, pixel);
        out += run.length;
      }
    } else {
      const std::int32_t* offsets = offsets_.data();
      for (int i = 0; i < wide_begin_; ++i) out[i] = ViewPixelBytes(src_row + offsets[i]);
      for (int start = wide_begin_; start < wide_end_; start += kChunk) {
        const int stop = std::min(start + kChunk, wide_end_);
        if (next_row != nullptr) Prefetch(next_row, offsets[start], offsets[stop - 1]);
        for (int i = start; i < stop; ++i) out[i] = ViewPixelWide(src_row + offsets[i]);
      }
      const int count = static_cast<int>(offsets_.size());
      for (int i = wide_end_; i < count; ++i) out[i] = ViewPixelBytes(src_row + offsets[i]);
    }
    std::fill(dst + last_, dst + view_width, kViewWhite);
  }

 private:
  static constexpr int kChunk = 64;

  // Asks for the cache lines holding the pixels from byte offset a to b (either order).
  static void Prefetch(const std::uint8_t* row, std::int32_t a, std::int32_t b) {
#if defined(__GNUC__) || defined(__clang__)
    const std::int32_t low = std::min(a, b);
    const std::int32_t high = std::max(a, b) + 2;
    for (std::int32_t at = low; at < high; at += 64) __builtin_prefetch(row + at);
    __builtin_prefetch(row + high);
#else
    (void)row, (void)a, (void)b;
#endif
  }

  struct Run {
    std::int32_t offset;  // byte offset of the source pixel in its row
    std::int32_t length;  // view pixels that show it
  };
  std::vector<Run> runs_;
  std::vector<std::int32_t> offsets_;  // byte offset for each view pixel from first_
  int first_ = 0;
  int last_ = 0;
  int wide_begin_ = 0;  // offsets_[wide_begin_, wide_end_) may be read four bytes wide
  int wide_end_ = 0;
  bool use_runs_ = false;
};

// Draws view rows [begin, end) of the columns [x_begin, x_end) from the two axis maps;
// a view row showing the same source row as the row above is copied from it (within the
// range, so two ranges can be drawn at once).
void DrawRows(const Bitmap& src, ViewImage& view, int x_begin, int x_end, const ColumnPlan& plan,
              const std::vector<std::int32_t>& rows, const std::vector<std::int32_t>& next_row,
              int begin, int end) {
  const int width = x_end - x_begin;
  for (int y = begin; y < end; ++y) {
    const std::int32_t source_row = rows[static_cast<std::size_t>(y)];
    std::uint32_t* dst = view.Row(y) + x_begin;
    if (y > begin && source_row == rows[static_cast<std::size_t>(y) - 1]) {
      std::memcpy(dst, view.Row(y - 1) + x_begin,
                  static_cast<std::size_t>(width) * sizeof(std::uint32_t));
    } else if (source_row < 0) {
      std::fill(dst, dst + width, kViewWhite);
    } else {
      const std::int32_t upcoming = next_row[static_cast<std::size_t>(y)];
      plan.DrawRow(src.Row(source_row), upcoming >= 0 ? src.Row(upcoming) : nullptr, dst, width);
    }
  }
}

// Views of at least this many pixels, of bitmaps too large for the caches, are drawn by
// two threads; smaller work does not pay for starting one.
constexpr std::int64_t kTwoThreadPixels = 256 * 1024;
constexpr std::int64_t kTwoThreadBitmapBytes = 32 << 20;

// One bitmap drawn into the view columns [x_begin, x_end) by its column plan and the
// source row of each view row.
struct MappedPart {
  MappedPart(const Bitmap& bitmap, int begin, int end, const std::vector<std::int32_t>& columns,
             std::vector<std::int32_t> source_rows)
      : src(bitmap),
        x_begin(begin),
        x_end(end),
        plan(columns, bitmap.Width()),
        rows(std::move(source_rows)),
        next_row(rows.size(), -1) {
    // The next bitmap row to be drawn after each view row, so its bytes can be asked
    // for while the current one is drawn (a reduced large image is bound by memory).
    for (std::size_t i = rows.size() - 1; i-- > 0;)
      next_row[i] = rows[i + 1] >= 0 && rows[i + 1] != rows[i] ? rows[i + 1] : next_row[i + 1];
  }
  const Bitmap& src;
  int x_begin, x_end;
  ColumnPlan plan;
  std::vector<std::int32_t> rows, next_row;
};

// Adds the part of src showing in view columns [x_begin, x_end) by the mapping (clipped
// to the view); an empty bitmap's columns are made white at once.
void AddPart(std::vector<MappedPart>& parts, const Bitmap& src, ViewImage& view,
             const ViewMapping& mapping, int x_begin, int x_end) {
  x_begin = std::clamp(x_begin, 0, view.Width());
  x_end = std::clamp(x_end, x_begin, view.Width());
  if (x_end == x_begin || view.Height() <= 0) return;
  if (src.Empty() || src.Data() == nullptr) {
    for (int y = 0; y < view.Height(); ++y)
      std::fill(view.Row(y) + x_begin, view.Row(y) + x_end, kViewWhite);
    return;
  }
  std::vector<std::int32_t> columns = AxisTable(mapping.x, x_end, src.Width());
  columns.erase(columns.begin(), columns.begin() + x_begin);
  parts.emplace_back(src, x_begin, x_end, columns,
                     AxisTable(mapping.y, view.Height(), src.Height()));
}

void DrawParts(ViewImage& view, const std::vector<MappedPart>& parts) {
  const int height = view.Height();
  std::int64_t pixels = 0, largest_bitmap = 0;
  for (const MappedPart& part : parts) {
    pixels += std::int64_t{part.x_end - part.x_begin} * height;
    largest_bitmap = std::max(largest_bitmap, static_cast<std::int64_t>(part.src.ByteSize()));
  }
  const auto draw = [&](int from, int to) {
    for (const MappedPart& part : parts)
      DrawRows(part.src, view, part.x_begin, part.x_end, part.plan, part.rows, part.next_row, from,
               to);
  };
  // A large view of a large image waits on memory far more than it computes: two cores
  // each drawing half of the rows keep twice as many reads in flight. Every pixel is
  // still written exactly as by one thread.
  int split = height;  // rows from here on are drawn by the second thread
  std::thread lower;
  if (pixels >= kTwoThreadPixels && largest_bitmap >= kTwoThreadBitmapBytes &&
      std::thread::hardware_concurrency() > 1) {
    try {
      lower = std::thread([&draw, from = height / 2, height] { draw(from, height); });
      split = height / 2;
    } catch (const std::system_error&) {
      // No thread to be had: this one draws everything.
    }
  }
  draw(0, split);
  if (lower.joinable()) lower.join();
}

}  // namespace

void RenderMapped(const Bitmap& src, ViewImage& view, const ViewMapping& mapping) {
  RenderMappedColumns(src, view, mapping, 0, view.Width());
}

void RenderMappedColumns(const Bitmap& src, ViewImage& view, const ViewMapping& mapping,
                         int x_begin, int x_end) {
  std::vector<MappedPart> parts;
  AddPart(parts, src, view, mapping, x_begin, x_end);
  DrawParts(view, parts);
}

void RenderMappedSplit(const Bitmap& left, const Bitmap& right, ViewImage& view,
                       const ViewMapping& mapping, int divider_x) {
  const int divider = std::clamp(divider_x, 0, view.Width());
  std::vector<MappedPart> parts;
  parts.reserve(2);
  AddPart(parts, left, view, mapping, 0, divider);
  AddPart(parts, right, view, mapping, divider, view.Width());
  DrawParts(view, parts);
}

void StretchToView(const Bitmap& src, ViewImage& view, int dst_w, int dst_h) {
  if (src.Empty() || dst_w <= 0 || dst_h <= 0) {
    view.FillWhite();
    return;
  }
  // Past dst_w the mapping names pixels from src.Width() on, which are drawn white.
  RenderMapped(src, view, {ScaledAxis(0, src.Width(), dst_w), ScaledAxis(0, src.Height(), dst_h)});
}

namespace {

// A side given with right < left is drawn mirrored, from left - 1 down to right.
AxisMapping RectAxis(int low, int high, int view_size) {
  const double span = static_cast<double>(high) - low;
  return ScaledAxis(high >= low ? low : std::int64_t{low} - 1, span, view_size);
}

}  // namespace

void CopySourceRectToView(const Bitmap& src, int left, int top, int right, int bottom,
                          ViewImage& view) {
  RenderMapped(src, view,
               {RectAxis(left, right, view.Width()), RectAxis(top, bottom, view.Height())});
}

}  // namespace zelk
