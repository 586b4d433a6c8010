#include "core/compare/compare_render.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "core/view/blit.h"

namespace zelk {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

inline std::uint32_t Rgb(const std::uint8_t* p) {
  return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

// Outside the part both cover: differing where exactly one of them has a pixel.
inline std::uint32_t OneSidedPixel(const DiffMask& mask, int x, int y) {
  return mask.InA(x, y) != mask.InB(x, y) ? kDifferenceColour : 0xFFFFFFu;
}

inline std::uint32_t OverlapPixel(const std::uint8_t* a_row, const std::uint64_t* mask_row, int x) {
  return (mask_row[x >> 6] >> (x & 63) & 1) != 0 ? kDifferenceColour
                                                 : DimmedGrey(Rgb(a_row + 3 * x));
}

// The canvas column or row under each of `count` view pixels, -1 outside the canvas
// (the rule RenderMapped follows).
std::vector<std::int32_t> AxisTable(const AxisMapping& axis, int count, int size) {
  std::vector<std::int32_t> map(static_cast<std::size_t>(std::max(count, 0)), -1);
  if (!axis.HasSpan()) return map;
  for (int i = 0; i < count; ++i) {
    const std::int64_t s = axis.Source(i);
    if (s >= 0 && s < size) map[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(s);
  }
  return map;
}

void Prefetch(const std::uint8_t* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// The dimmed grey of each luma, as a view pixel.
constexpr std::array<std::uint32_t, 256> MakeGreyTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t luma = 0; luma < 256; ++luma)
    table[luma] = kOpaque | DimmedGrey(luma * 0x010101u);
  return table;
}
constexpr std::array<std::uint32_t, 256> kGreyPixel = MakeGreyTable();

struct DifferenceRender {
  const Bitmap& a;
  const DiffMask& mask;
  ViewImage& view;
  std::vector<std::int32_t> columns, rows, next_row;
  // View columns [overlap_begin, overlap_end) show columns both bitmaps cover (a
  // mapping is monotonic); of those, [overlap_begin, wide_end) may be read four bytes
  // at a time (never A's last column, which may end the bitmap's memory).
  int overlap_begin = 0, overlap_end = 0, wide_end = 0;

  void PlanColumns() {
    const int width = view.Width(), overlap_w = mask.OverlapWidth();
    const auto inside = [&](int i) {
      const std::int32_t x = columns[static_cast<std::size_t>(i)];
      return x >= 0 && x < overlap_w;
    };
    overlap_begin = 0;
    while (overlap_begin < width && !inside(overlap_begin)) ++overlap_begin;
    overlap_end = overlap_begin;
    while (overlap_end < width && inside(overlap_end)) ++overlap_end;
    // Should a mapping ever not be monotonic, the columns past these ranges still come
    // out right, only slower.
    wide_end = overlap_begin;
    while (wide_end < overlap_end && columns[static_cast<std::size_t>(wide_end)] < a.Width() - 1)
      ++wide_end;
  }

  std::uint32_t SlowPixel(std::int32_t x, std::int32_t y) const {
    return x < 0 ? kViewWhite : kOpaque | DifferencePixel(a, mask, x, y);
  }

  // View rows [begin, end); a row showing the same canvas row as the one above is copied.
  void DrawRows(int begin, int end) const {
    const int width = view.Width();
    const int overlap_h = mask.OverlapHeight();
    constexpr int kChunk = 64;
    for (int j = begin; j < end; ++j) {
      const std::int32_t y = rows[static_cast<std::size_t>(j)];
      std::uint32_t* out = view.Row(j);
      if (j > begin && y == rows[static_cast<std::size_t>(j) - 1]) {
        std::memcpy(out, view.Row(j - 1), static_cast<std::size_t>(width) * sizeof(std::uint32_t));
        continue;
      }
      if (y < 0) {
        std::fill(out, out + width, kViewWhite);
        continue;
      }
      if (y >= overlap_h) {
        for (int i = 0; i < width; ++i) out[i] = SlowPixel(columns[static_cast<std::size_t>(i)], y);
        continue;
      }
      for (int i = 0; i < overlap_begin; ++i)
        out[i] = SlowPixel(columns[static_cast<std::size_t>(i)], y);
      const std::uint8_t* a_row = a.Row(y);
      const std::uint64_t* mask_row = mask.OverlapRow(y);
      const std::int32_t upcoming = next_row[static_cast<std::size_t>(j)];
      const std::uint8_t* prefetch_row =
          upcoming >= 0 && upcoming < overlap_h ? a.Row(upcoming) : nullptr;
      const std::int32_t* x_of = columns.data();
      for (int start = overlap_begin; start < wide_end; start += kChunk) {
        const int stop = std::min(start + kChunk, wide_end);
        // The same columns of the next row drawn, asked for while this one is drawn: a
        // reduced large image waits on memory, not on arithmetic.
        if (prefetch_row != nullptr)
          for (std::int32_t at = 3 * x_of[start]; at <= 3 * x_of[stop - 1] + 2; at += 64)
            Prefetch(prefetch_row + at);
        const auto grey = [&](std::int32_t x) {
          std::uint32_t v;
          std::memcpy(&v, a_row + 3 * x, 4);
          return kGreyPixel[(77 * (v >> 16 & 0xFF) + 150 * (v >> 8 & 0xFF) + 29 * (v & 0xFF) +
                             128) >>
                            8];
        };
        // Differences are mostly rare: a stretch whose mask words are all clear is grey.
        bool any = false;
        for (std::int32_t w = x_of[start] >> 6; w <= x_of[stop - 1] >> 6; ++w)
          any |= mask_row[w] != 0;
        if (!any) {
          for (int i = start; i < stop; ++i) out[i] = grey(x_of[i]);
          continue;
        }
        for (int i = start; i < stop; ++i) {
          const std::int32_t x = x_of[i];
          const bool differs = (mask_row[x >> 6] >> (x & 63) & 1) != 0;
          out[i] = differs ? kOpaque | kDifferenceColour : grey(x);
        }
      }
      for (int i = wide_end; i < overlap_end; ++i)
        out[i] = kOpaque | OverlapPixel(a_row, mask_row, x_of[i]);
      for (int i = overlap_end; i < width; ++i) out[i] = SlowPixel(x_of[i], y);
    }
  }
};

// As for the normal view: large views of bitmaps too large for the caches are drawn by
// two threads, each taking half of the rows, which keeps twice as many reads in flight.
constexpr std::int64_t kTwoThreadPixels = 256 * 1024;
constexpr std::int64_t kTwoThreadBitmapBytes = 32 << 20;

}  // namespace

std::uint32_t DifferencePixel(const Bitmap& a, const DiffMask& mask, int x, int y) {
  if (x >= 0 && y >= 0 && x < mask.OverlapWidth() && y < mask.OverlapHeight())
    return OverlapPixel(a.Row(y), mask.OverlapRow(y), x);
  return OneSidedPixel(mask, x, y);
}

void RenderSplit(const Bitmap& a, const Bitmap& b, ViewImage& view, const ViewMapping& mapping,
                 int divider_x) {
  RenderMappedSplit(a, b, view, mapping, divider_x);
}

void RenderDifference(const Bitmap& a, const DiffMask& mask, ViewImage& view,
                      const ViewMapping& mapping) {
  const int width = view.Width(), height = view.Height();
  if (width <= 0 || height <= 0) return;
  DifferenceRender render{a,
                          mask,
                          view,
                          AxisTable(mapping.x, width, mask.Width()),
                          AxisTable(mapping.y, height, mask.Height()),
                          std::vector<std::int32_t>(static_cast<std::size_t>(height), -1)};
  render.PlanColumns();
  for (int j = height - 2; j >= 0; --j) {
    const auto i = static_cast<std::size_t>(j);
    const std::int32_t below = render.rows[i + 1];
    render.next_row[i] = below >= 0 && below != render.rows[i] ? below : render.next_row[i + 1];
  }
  int split = height;
  std::thread lower;
  if (std::int64_t{width} * height >= kTwoThreadPixels &&
      static_cast<std::int64_t>(a.ByteSize()) >= kTwoThreadBitmapBytes &&
      std::thread::hardware_concurrency() > 1) {
    try {
      lower = std::thread([&render, from = height / 2, height] { render.DrawRows(from, height); });
      split = height / 2;
    } catch (const std::system_error&) {
      // No thread to be had: this one draws everything.
    }
  }
  render.DrawRows(0, split);
  if (lower.joinable()) lower.join();
}

Bitmap DifferencePicture(const Bitmap& a, const DiffMask& mask) {
  Bitmap picture;
  picture.ResetUninitialised(mask.Width(), mask.Height());
  for (int y = 0; y < picture.Height(); ++y) {
    std::uint8_t* out = picture.Row(y);
    const bool overlap_row = y < mask.OverlapHeight();
    for (int x = 0; x < picture.Width(); ++x, out += 3) {
      const std::uint32_t rgb = overlap_row && x < mask.OverlapWidth()
                                    ? OverlapPixel(a.Row(y), mask.OverlapRow(y), x)
                                    : OneSidedPixel(mask, x, y);
      out[0] = static_cast<std::uint8_t>(rgb);
      out[1] = static_cast<std::uint8_t>(rgb >> 8);
      out[2] = static_cast<std::uint8_t>(rgb >> 16);
    }
  }
  return picture;
}

}  // namespace zelk
