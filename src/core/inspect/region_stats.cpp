#include "core/inspect/region_stats.h"

#include <algorithm>
#include <array>
#include <memory>

namespace zelk {
namespace {

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The kMostFrequentColours best colours seen so far.
class MostFrequent {
 public:
  void Offer(std::uint32_t rgb, std::uint64_t count) {
    if (size_ == kMostFrequentColours && !Better(rgb, count, top_[size_ - 1])) return;
    int at = size_ < kMostFrequentColours ? size_++ : size_ - 1;
    while (at > 0 && Better(rgb, count, top_[at - 1])) {
      top_[at] = top_[at - 1];
      --at;
    }
    top_[at] = {rgb, count};
  }
  std::vector<ColourCount> Result() const { return {top_.begin(), top_.begin() + size_}; }

 private:
  static bool Better(std::uint32_t rgb, std::uint64_t count, const ColourCount& than) {
    return count > than.count || (count == than.count && rgb < than.rgb);
  }
  std::array<ColourCount, kMostFrequentColours> top_{};
  int size_ = 0;
};

ChannelStats FromHistogram(const std::array<std::uint64_t, 256>& histogram, std::uint64_t pixels) {
  ChannelStats stats;
  if (pixels == 0) return stats;
  std::uint64_t sum = 0;
  for (int v = 0; v < 256; ++v) sum += histogram[v] * static_cast<std::uint64_t>(v);
  stats.min = static_cast<int>(
      std::find_if(histogram.begin(), histogram.end(), [](std::uint64_t n) { return n != 0; }) -
      histogram.begin());
  stats.max = 255 - static_cast<int>(std::find_if(histogram.rbegin(), histogram.rend(),
                                                  [](std::uint64_t n) { return n != 0; }) -
                                     histogram.rbegin());
  stats.mean = static_cast<double>(sum) / static_cast<double>(pixels);
  return stats;
}

struct Region {
  const Bitmap& bitmap;
  int left, top, width, height;
  const std::uint8_t* Row(int y) const { return bitmap.Row(top + y) + std::ptrdiff_t{left} * 3; }
};

constexpr int kRowsBetweenChecks = 64;

// Counts by red value: every pixel's green and blue go into its red's bucket, then each
// bucket is counted in a table of 64 Ki entries that stays in the cache.
bool CountByBuckets(const Region& region, const std::array<std::uint64_t, 256>& red_histogram,
                    const std::atomic<bool>* cancel, RegionStats& stats) {
  std::array<std::uint64_t, 257> start{};
  for (int r = 0; r < 256; ++r) start[r + 1] = start[r] + red_histogram[r];
  std::unique_ptr<std::uint16_t[]> keys(new std::uint16_t[start[256]]);
  std::array<std::uint64_t, 256> next{};
  std::copy(start.begin(), start.begin() + 256, next.begin());
  for (int y = 0; y < region.height; ++y) {
    if (y % kRowsBetweenChecks == 0 && Cancelled(cancel)) return false;
    const std::uint8_t* p = region.Row(y);
    for (int x = 0; x < region.width; ++x, p += 3)
      keys[next[p[2]]++] = static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  }
  std::vector<std::uint32_t> counts(1 << 16, 0);
  MostFrequent top;
  for (int r = 0; r < 256; ++r) {
    if (Cancelled(cancel)) return false;
    const std::uint16_t* begin = keys.get() + start[r];
    const std::uint16_t* end = keys.get() + start[r + 1];
    for (const std::uint16_t* k = begin; k != end; ++k) ++counts[*k];
    // Each colour read back once, where it first occurs, and its entry cleared.
    for (const std::uint16_t* k = begin; k != end; ++k) {
      std::uint32_t& n = counts[*k];
      if (n == 0) continue;
      ++stats.distinct;
      top.Offer(static_cast<std::uint32_t>(r) << 16 | *k, n);
      n = 0;
    }
  }
  stats.most_frequent = top.Result();
  return true;
}

// Counts in one table of all 2^24 colours.
bool CountInTable(const Region& region, const std::atomic<bool>* cancel, RegionStats& stats) {
  std::vector<std::uint32_t> counts(std::size_t{1} << 24, 0);
  for (int y = 0; y < region.height; ++y) {
    if (y % kRowsBetweenChecks == 0 && Cancelled(cancel)) return false;
    const std::uint8_t* p = region.Row(y);
    for (int x = 0; x < region.width; ++x, p += 3)
      ++counts[std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]];
  }
  MostFrequent top;
  for (std::uint32_t rgb = 0; rgb < counts.size(); ++rgb) {
    if ((rgb & 0xFFFFF) == 0 && Cancelled(cancel)) return false;
    if (counts[rgb] == 0) continue;
    ++stats.distinct;
    top.Offer(rgb, counts[rgb]);
  }
  stats.most_frequent = top.Result();
  return true;
}

}  // namespace

std::optional<RegionStats> ComputeRegionStats(const Bitmap& bitmap, const PixelRect& rect,
                                              const std::atomic<bool>* cancel,
                                              ColourCounting counting) {
  const int left = std::max(rect.Left, 0), top = std::max(rect.Top, 0);
  const int right = std::min(rect.Right, bitmap.Width());
  const int bottom = std::min(rect.Bottom, bitmap.Height());
  RegionStats stats;
  if (right <= left || bottom <= top || bitmap.Data() == nullptr) return stats;
  const Region region{bitmap, left, top, right - left, bottom - top};
  stats.width = region.width;
  stats.height = region.height;
  stats.pixels = static_cast<std::uint64_t>(region.width) * region.height;

  // The channels' histograms give minimum, mean and maximum, and the red one the size
  // of every red bucket. Two sets of counters, alternating by pixel, so a run of equal
  // values does not wait on its own previous increment.
  std::array<std::array<std::uint32_t, 256>, 6> partial{};
  std::array<std::array<std::uint64_t, 256>, 3> histogram{};
  std::uint64_t pending = 0;
  for (int y = 0; y < region.height; ++y) {
    if (y % kRowsBetweenChecks == 0 && Cancelled(cancel)) return std::nullopt;
    const std::uint8_t* p = region.Row(y);
    int x = 0;
    for (; x + 1 < region.width; x += 2, p += 6) {
      ++partial[0][p[2]], ++partial[1][p[1]], ++partial[2][p[0]];
      ++partial[3][p[5]], ++partial[4][p[4]], ++partial[5][p[3]];
    }
    if (x < region.width) ++partial[0][p[2]], ++partial[1][p[1]], ++partial[2][p[0]];
    // Each 32-bit counter grows at most once per two pixels: emptied well before it
    // could overflow, and after the last row.
    pending += static_cast<std::uint64_t>(region.width);
    if (pending < (std::uint64_t{1} << 31) && y + 1 < region.height) continue;
    pending = 0;
    for (int c = 0; c < 3; ++c)
      for (int v = 0; v < 256; ++v) {
        histogram[c][v] += std::uint64_t{partial[c][v]} + partial[c + 3][v];
        partial[c][v] = partial[c + 3][v] = 0;
      }
  }
  stats.red = FromHistogram(histogram[0], stats.pixels);
  stats.green = FromHistogram(histogram[1], stats.pixels);
  stats.blue = FromHistogram(histogram[2], stats.pixels);

  constexpr std::uint64_t kMostBucketPixels = std::uint64_t{1} << 26;
  const bool buckets =
      counting == ColourCounting::kBuckets ||
      (counting == ColourCounting::kAutomatic && stats.pixels <= kMostBucketPixels);
  const bool done = buckets ? CountByBuckets(region, histogram[0], cancel, stats)
                            : CountInTable(region, cancel, stats);
  if (!done) return std::nullopt;
  return stats;
}

}  // namespace zelk
