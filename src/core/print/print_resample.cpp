#include "core/print/print_resample.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace zelk {

namespace {

inline std::uint32_t Pack(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

}  // namespace

PrintResampler::Axis PrintResampler::BuildAxis(int source_size, int target_size) {
  Axis axis;
  const std::int64_t m = source_size;
  const std::int64_t n = target_size;
  axis.start.reserve(static_cast<std::size_t>(n) + 1);
  axis.start.push_back(0);
  if (n >= m) {
    // Centre sampling: target pixel i shows the source pixel under its centre.
    for (std::int64_t i = 0; i < n; ++i) {
      axis.index.push_back(static_cast<int>((2 * i + 1) * m / (2 * n)));
      axis.weight.push_back(1);
      axis.start.push_back(axis.index.size());
    }
    return axis;
  }
  // Box filter in units where a source pixel is n wide and a target pixel m wide:
  // target i covers [i*m, (i+1)*m), source j covers [j*n, (j+1)*n); the overlap
  // lengths are whole numbers and add up to m for every target pixel.
  axis.nearest = false;
  axis.total = static_cast<std::uint64_t>(m);
  axis.index.reserve(static_cast<std::size_t>(m + n));
  axis.weight.reserve(static_cast<std::size_t>(m + n));
  for (std::int64_t i = 0; i < n; ++i) {
    const std::int64_t lo = i * m;
    const std::int64_t hi = lo + m;
    for (std::int64_t j = lo / n; j * n < hi; ++j) {
      const std::int64_t overlap = std::min(hi, (j + 1) * n) - std::max(lo, j * n);
      if (overlap <= 0) continue;
      axis.index.push_back(static_cast<int>(j));
      axis.weight.push_back(static_cast<std::uint32_t>(overlap));
    }
    axis.start.push_back(axis.index.size());
  }
  return axis;
}

PrintResampler::PrintResampler(const Bitmap& source, int width, int height)
    : source_(source), width_(width), height_(height) {
  if (source.Empty() || width < 1 || height < 1)
    throw std::invalid_argument("PrintResampler needs a picture and a source of at least 1x1");
  x_ = BuildAxis(source.Width(), width);
  y_ = BuildAxis(source.Height(), height);
  row_sums_.resize(static_cast<std::size_t>(width) * 3);
  if (!y_.nearest) column_sums_.resize(static_cast<std::size_t>(width) * 3);
}

void PrintResampler::SumRow(int y) {
  if (row_sums_of_ == y) return;
  const std::uint8_t* row = source_.Row(y);
  std::uint32_t* sums = row_sums_.data();
  for (int i = 0; i < width_; ++i) {
    std::uint32_t b = 0, g = 0, r = 0;
    for (std::size_t k = x_.start[i]; k < x_.start[i + 1]; ++k) {
      const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x_.index[k]) * 3;
      const std::uint32_t w = x_.weight[k];
      b += p[0] * w;
      g += p[1] * w;
      r += p[2] * w;
    }
    sums[3 * i] = b;
    sums[3 * i + 1] = g;
    sums[3 * i + 2] = r;
  }
  row_sums_of_ = y;
}

void PrintResampler::RenderRows(int first_row, int row_count, std::uint32_t* out,
                                std::ptrdiff_t out_stride) {
  assert(first_row >= 0 && row_count >= 0 && first_row + row_count <= height_);
  for (int band_row = 0; band_row < row_count; ++band_row) {
    const int ty = first_row + band_row;
    std::uint32_t* dst = out + band_row * out_stride;
    if (y_.nearest) {
      const int sy = y_.index[ty];
      if (band_row > 0 && ty > 0 && y_.index[ty - 1] == sy) {
        // The same source row again: an enlargement repeats the row just made.
        std::copy(dst - out_stride, dst - out_stride + width_, dst);
        continue;
      }
      if (x_.nearest) {
        const std::uint8_t* row = source_.Row(sy);
        for (int i = 0; i < width_; ++i) {
          const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x_.index[i]) * 3;
          dst[i] = Pack(p[2], p[1], p[0]);
        }
        continue;
      }
      SumRow(sy);
      const double scale = 1.0 / static_cast<double>(x_.total);
      const std::uint32_t* sums = row_sums_.data();
      for (int i = 0; i < width_; ++i) {
        dst[i] = Pack(static_cast<std::uint32_t>(sums[3 * i + 2] * scale + 0.5),
                      static_cast<std::uint32_t>(sums[3 * i + 1] * scale + 0.5),
                      static_cast<std::uint32_t>(sums[3 * i] * scale + 0.5));
      }
      continue;
    }
    std::fill(column_sums_.begin(), column_sums_.end(), 0);
    for (std::size_t k = y_.start[ty]; k < y_.start[ty + 1]; ++k) {
      SumRow(y_.index[k]);
      const std::uint64_t w = y_.weight[k];
      for (std::size_t c = 0; c < column_sums_.size(); ++c) column_sums_[c] += row_sums_[c] * w;
    }
    const double scale = 1.0 / (static_cast<double>(x_.total) * static_cast<double>(y_.total));
    const std::uint64_t* sums = column_sums_.data();
    for (int i = 0; i < width_; ++i) {
      dst[i] = Pack(static_cast<std::uint32_t>(static_cast<double>(sums[3 * i + 2]) * scale + 0.5),
                    static_cast<std::uint32_t>(static_cast<double>(sums[3 * i + 1]) * scale + 0.5),
                    static_cast<std::uint32_t>(static_cast<double>(sums[3 * i]) * scale + 0.5));
    }
  }
}

}  // namespace zelk
