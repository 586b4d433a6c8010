#include "core/compare/compare_render.h"

#include <algorithm>
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

struct DifferenceRender {
  const Bitmap& a;
  const DiffMask& mask;
  ViewImage& view;
  std::vector<std::int32_t> columns, rows, next_row;

  // View rows [begin, end); a row showing the same canvas row as the one above is copied.
  void DrawRows(int begin, int end) const {
    const int width = view.Width();
    const int overlap_w = mask.OverlapWidth(), overlap_h = mask.OverlapHeight();
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
        for (int i = 0; i < width; ++i) {
          const std::int32_t x = columns[static_cast<std::size_t>(i)];
          out[i] = x < 0 ? kViewWhite : kOpaque | OneSidedPixel(mask, x, y);
        }
        continue;
      }
      const std::uint8_t* a_row = a.Row(y);
      const std::uint64_t* mask_row = mask.OverlapRow(y);
      const std::int32_t upcoming = next_row[static_cast<std::size_t>(j)];
      const std::uint8_t* prefetch_row =
          upcoming >= 0 && upcoming < overlap_h ? a.Row(upcoming) : nullptr;
      for (int start = 0; start < width; start += kChunk) {
        const int stop = std::min(start + kChunk, width);
        // The same columns of the next row drawn, asked for while this one is drawn: a
        // reduced large image waits on memory, not on arithmetic.
        if (prefetch_row != nullptr) {
          const std::int32_t lo = columns[static_cast<std::size_t>(start)];
          const std::int32_t hi = columns[static_cast<std::size_t>(stop) - 1];
          if (lo >= 0 && hi >= lo && hi < overlap_w)
            for (std::int32_t at = 3 * lo; at <= 3 * hi + 2; at += 64) Prefetch(prefetch_row + at);
        }
        for (int i = start; i < stop; ++i) {
          const std::int32_t x = columns[static_cast<std::size_t>(i)];
          if (static_cast<std::uint32_t>(x) < static_cast<std::uint32_t>(overlap_w)) {
            out[i] = kOpaque | OverlapPixel(a_row, mask_row, x);
          } else {
            out[i] = x < 0 ? kViewWhite : kOpaque | OneSidedPixel(mask, x, y);
          }
        }
      }
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
  const int divider = std::clamp(divider_x, 0, view.Width());
  RenderMappedColumns(a, view, mapping, 0, divider);
  RenderMappedColumns(b, view, mapping, divider, view.Width());
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
