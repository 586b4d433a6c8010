#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <vector>

#include "core/inspect/pixel_probe.h"
#include "core/inspect/region_stats.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

// Colours with many repeats and ties, from a small pseudo-random set.
Bitmap Mixed(int w, int h) {
  Bitmap b;
  b.Reset(w, h);
  std::uint32_t seed = 7;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const std::uint32_t pick = (seed >> 16) % 23;
      b.SetPixelRgb(x, y, pick * 0x0B0D07u + (pick > 11 ? 0xFF0000u : 0));
    }
  return b;
}

TEST(RegionStatsTest, BothCountingWaysMatchAPlainCount) {
  const Bitmap b = Mixed(37, 29);
  const PixelRect rect{3, 2, 40, 20};  // clipped to x < 37
  std::map<std::uint32_t, std::uint64_t> counts;
  int min_r = 255, max_r = 0;
  double sum_g = 0;
  for (int y = 2; y < 20; ++y)
    for (int x = 3; x < 37; ++x) {
      const std::uint32_t c = b.PixelRgb(x, y);
      ++counts[c];
      min_r = std::min<int>(min_r, c >> 16), max_r = std::max<int>(max_r, c >> 16);
      sum_g += (c >> 8) & 0xFF;
    }
  std::vector<ColourCount> ranked;
  for (const auto& [rgb, n] : counts) ranked.push_back({rgb, n});
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const ColourCount& a, const ColourCount& c) { return a.count > c.count; });
  ranked.resize(5);
  RegionStatsScratch scratch;
  ComputeRegionStats(b, {0, 0, 37, 29}, nullptr, &scratch);  // leaves larger, stale keys
  for (const ColourCounting way : {ColourCounting::kBuckets, ColourCounting::kTable}) {
    const std::optional<RegionStats> stats = ComputeRegionStats(b, rect, nullptr, &scratch, way);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->width, 34);
    EXPECT_EQ(stats->height, 18);
    EXPECT_EQ(stats->pixels, 34u * 18u);
    EXPECT_EQ(stats->red.min, min_r);
    EXPECT_EQ(stats->red.max, max_r);
    EXPECT_DOUBLE_EQ(stats->green.mean, sum_g / (34 * 18));
    EXPECT_EQ(stats->distinct, counts.size());
    EXPECT_EQ(stats->most_frequent, ranked);
  }
}

TEST(RegionStatsTest, EqualCountsRankBySmallerColour) {
  Bitmap b;
  b.Reset(7, 1);
  const std::uint32_t colours[] = {0x30, 0x20, 0x30, 0x20, 0x50, 0x10, 0x40};
  for (int x = 0; x < 7; ++x) b.SetPixelRgb(x, 0, colours[x]);
  const std::vector<ColourCount> want = {{0x20, 2}, {0x30, 2}, {0x10, 1}, {0x40, 1}, {0x50, 1}};
  for (const ColourCounting way : {ColourCounting::kBuckets, ColourCounting::kTable})
    EXPECT_EQ(ComputeRegionStats(b, {0, 0, 7, 1}, nullptr, nullptr, way)->most_frequent, want);
}

TEST(RegionStatsTest, EmptyRectanglesAndCancelling) {
  const Bitmap b = Mixed(8, 8);
  const std::optional<RegionStats> none = ComputeRegionStats(b, {5, 5, 5, 9});
  ASSERT_TRUE(none);
  EXPECT_EQ(none->pixels, 0u);
  EXPECT_TRUE(none->most_frequent.empty());
  EXPECT_EQ(ComputeRegionStats(b, {20, 20, 30, 30})->pixels, 0u);
  const std::atomic<bool> cancel{true};
  EXPECT_FALSE(ComputeRegionStats(b, {0, 0, 8, 8}, &cancel));
}

// The statistics by sorting every pixel's colour: slow, plainly right.
RegionStats PlainStats(const Bitmap& b) {
  std::vector<std::uint32_t> colours;
  colours.reserve(static_cast<std::size_t>(b.Width()) * b.Height());
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) colours.push_back(b.PixelRgb(x, y));
  std::sort(colours.begin(), colours.end());
  RegionStats s;
  s.width = b.Width();
  s.height = b.Height();
  s.pixels = colours.size();
  std::vector<ColourCount> all;
  std::uint64_t sum[3] = {};
  int min[3] = {255, 255, 255}, max[3] = {};
  for (std::size_t i = 0; i < colours.size();) {
    std::size_t j = i;
    while (j < colours.size() && colours[j] == colours[i]) ++j;
    all.push_back({colours[i], j - i});
    for (int c = 0; c < 3; ++c) {
      const int v = static_cast<int>(colours[i] >> (16 - 8 * c)) & 0xFF;
      sum[c] += static_cast<std::uint64_t>(v) * (j - i);
      min[c] = std::min(min[c], v);
      max[c] = std::max(max[c], v);
    }
    i = j;
  }
  s.distinct = all.size();
  std::stable_sort(all.begin(), all.end(),
                   [](const ColourCount& a, const ColourCount& c) { return a.count > c.count; });
  all.resize(std::min<std::size_t>(all.size(), kMostFrequentColours));
  s.most_frequent = all;
  ChannelStats* channels[3] = {&s.red, &s.green, &s.blue};
  for (int c = 0; c < 3; ++c)
    *channels[c] = {min[c], static_cast<double>(sum[c]) / static_cast<double>(s.pixels), max[c]};
  return s;
}

void ExpectSameStats(const RegionStats& got, const RegionStats& want) {
  EXPECT_EQ(got.pixels, want.pixels);
  EXPECT_EQ(got.distinct, want.distinct);
  EXPECT_EQ(got.most_frequent, want.most_frequent);
  const ChannelStats* g[3] = {&got.red, &got.green, &got.blue};
  const ChannelStats* w[3] = {&want.red, &want.green, &want.blue};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(g[c]->min, w[c]->min) << c;
    EXPECT_EQ(g[c]->max, w[c]->max) << c;
    EXPECT_DOUBLE_EQ(g[c]->mean, w[c]->mean) << c;
  }
}

// Over 2^20 pixels (two threads), nearly all one colour: its 16-bit counters wrap many
// times in both threads' tables, and two other colours sit right at a wrap (65535 and
// 65536 pixels) in one half of the rows.
TEST(RegionStatsTest, CountsPastSixteenBitsStayExact) {
  Bitmap b;
  b.Reset(1024, 1100);
  b.Fill(0x204060);
  int placed = 0;
  for (int y = 0; y < 500 && placed < 65535 + 65536; ++y)
    for (int x = 0; x < 1024 && placed < 65535 + 65536; ++x, ++placed)
      b.SetPixelRgb(x, y, placed < 65535 ? 0xFFFFFF : 0x000001);
  for (int x = 0; x < 1024; x += 3) b.SetPixelRgb(x, 1099, 0x10000u * (x % 256) + 7);
  const RegionStats want = PlainStats(b);
  RegionStatsScratch scratch;
  for (const ColourCounting way :
       {ColourCounting::kAutomatic, ColourCounting::kBuckets, ColourCounting::kTable}) {
    const std::optional<RegionStats> got =
        ComputeRegionStats(b, {0, 0, 1024, 1100}, nullptr, &scratch, way);
    ASSERT_TRUE(got);
    ExpectSameStats(*got, want);
  }
}

// One working memory through a stop, smooth pictures (counted in tables, which must
// start from zero every time) and noise (counted by buckets, which leaves it dirty).
TEST(RegionStatsTest, ScratchServesEveryWayInTurn) {
  Bitmap noise, smooth;
  noise.Reset(1024, 1024);
  smooth.Reset(1200, 900);
  std::uint32_t seed = 3;
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x) {
      seed = seed * 1664525u + 1013904223u;
      noise.SetPixelRgb(x, y, seed >> 8);
    }
  for (int y = 0; y < 900; ++y)
    for (int x = 0; x < 1200; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const std::uint32_t j = seed >> 30;
      smooth.SetPixelRgb(x, y, (x / 5 + j) << 16 | (y / 300 + j) << 8 | (x / 40 + j));
    }
  const RegionStats want_noise = PlainStats(noise), want_smooth = PlainStats(smooth);
  RegionStatsScratch scratch;
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(ComputeRegionStats(smooth, {0, 0, 1200, 900}, &stop, &scratch));
  // Tables after a stop, after tables, after buckets.
  for (const Bitmap* picture : {&smooth, &smooth, &noise, &smooth}) {
    const auto got = ComputeRegionStats(*picture, {0, 0, picture->Width(), picture->Height()},
                                        nullptr, &scratch);
    ASSERT_TRUE(got);
    ExpectSameStats(*got, picture == &smooth ? want_smooth : want_noise);
  }
}

// Rows that do not end on a whole group of four pixels, an odd number of rows, and rows
// longer than a chunk of work (so a chunk is a single row), every way of counting.
TEST(RegionStatsTest, OddShapesMatchAPlainCount) {
  const std::pair<int, int> sizes[] = {{1, 1}, {2, 3}, {3, 1}, {5, 2}, {6, 3}, {300007, 5}};
  for (const auto& [w, h] : sizes) {
    const Bitmap b = Mixed(w, h);
    const RegionStats want = PlainStats(b);
    for (const ColourCounting way :
         {ColourCounting::kAutomatic, ColourCounting::kBuckets, ColourCounting::kTable}) {
      SCOPED_TRACE(testing::Message() << w << " x " << h << ", way " << static_cast<int>(way));
      const std::optional<RegionStats> got =
          ComputeRegionStats(b, {0, 0, w, h}, nullptr, nullptr, way);
      ASSERT_TRUE(got);
      ExpectSameStats(*got, want);
    }
  }
}

TEST(PixelProbeTest, NeighbourhoodMarksPixelsOutsideTheImage) {
  const Bitmap b = Mixed(6, 5);
  const Neighbourhood around = NeighbourhoodOf(b, 1, 4);
  int inside = 0;
  for (int j = 0; j < 9; ++j)
    for (int i = 0; i < 9; ++i) {
      const NeighbourPixel& n = around[j * 9 + i];
      const int x = 1 + i - 4, y = 4 + j - 4;
      const bool in = x >= 0 && x < 6 && y >= 0 && y < 5;
      ASSERT_EQ(n.inside, in) << i << "," << j;
      if (in) {
        EXPECT_EQ(n.rgb, b.PixelRgb(x, y));
      }
      inside += in;
    }
  EXPECT_EQ(inside, 6 * 5);
  EXPECT_EQ(around[40].rgb, b.PixelRgb(1, 4));
}

TEST(PixelProbeTest, HsvOfPrimariesGreysAndAWrap) {
  EXPECT_DOUBLE_EQ(HsvOf(0xFF0000).hue, 0.0);
  EXPECT_DOUBLE_EQ(HsvOf(0x00FF00).hue, 120.0);
  EXPECT_DOUBLE_EQ(HsvOf(0x0000FF).hue, 240.0);
  EXPECT_DOUBLE_EQ(HsvOf(0xFF0080).hue, 360.0 - 60.0 * 128 / 255);
  const Hsv grey = HsvOf(0x808080);
  EXPECT_EQ(grey.hue, 0.0);
  EXPECT_EQ(grey.saturation, 0.0);
  EXPECT_DOUBLE_EQ(grey.value, 128 / 255.0);
  EXPECT_DOUBLE_EQ(HsvOf(0x804000).saturation, 1.0);
}

}  // namespace
}  // namespace zelk
