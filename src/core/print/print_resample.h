#pragma once
// Turns the full-resolution working bitmap into the device pixels of the printed
// picture, a band of rows at a time, so a large image at a high printer resolution
// never needs a second full-size copy in memory.
//
// Each axis is resampled on its own. An enlarged axis repeats whole source pixels
// (nearest pixel by centre sampling, the rule of the view), so the print shows hard
// pixel edges as the zoomed view does. A reduced axis averages the source pixels
// that each device pixel covers, weighted by the exact overlap (a box filter), so
// fine detail prints as its mean colour instead of aliasing into moire.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"

namespace zelk {

class PrintResampler {
 public:
  // source must outlive the resampler. width and height are the picture's size in
  // device pixels, both at least 1; the source must not be empty.
  PrintResampler(const Bitmap& source, int width, int height);

  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }

  // Writes picture rows [first_row, first_row + row_count) as 0xFFRRGGBB pixels;
  // row r of the band starts at out + r * out_stride (in pixels).
  void RenderRows(int first_row, int row_count, std::uint32_t* out, std::ptrdiff_t out_stride);

 private:
  // For every target pixel i, the source pixels index[start[i] .. start[i+1]) with
  // their weights; the weights of each target pixel add up to total.
  struct Axis {
    std::vector<std::size_t> start;
    std::vector<int> index;
    std::vector<std::uint32_t> weight;
    std::uint64_t total = 1;
    bool nearest = true;
  };
  static Axis BuildAxis(int source_size, int target_size);
  // Horizontal weighted sums of source row y into row_sums_ (3 per target pixel).
  void SumRow(int y);

  const Bitmap& source_;
  int width_;
  int height_;
  Axis x_;
  Axis y_;
  std::vector<std::uint32_t> row_sums_;
  int row_sums_of_ = -1;  // source row now held in row_sums_
  std::vector<std::uint64_t> column_sums_;
};

}  // namespace zelk
