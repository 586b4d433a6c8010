// Comparing two bitmaps: the counts against a plain count, the clusters, the pictures
// and the texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/compare/compare_render.h"
#include "core/compare/compare_text.h"
#include "core/compare/diff_clusters.h"
#include "core/compare/pixel_diff.h"
#include "core/view/blit.h"
#include "core/view/view_mapping.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

Bitmap Noise(int w, int h, std::uint32_t seed) {
  Bitmap b;
  b.Reset(w, h);
  std::mt19937 random(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRgb(x, y, random() & 0xFFFFFF);
  return b;
}

// The rule written plainly: pixel by pixel over the canvas.
DiffStats PlainStats(const Bitmap& a, const Bitmap& b, int tolerance) {
  DiffStats s;
  s.width = std::max(a.Width(), b.Width());
  s.height = std::max(a.Height(), b.Height());
  int l = s.width, t = s.height, r = -1, bottom = -1;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const bool in_a = x < a.Width() && y < a.Height(), in_b = x < b.Width() && y < b.Height();
      bool differs = in_a != in_b;
      if (in_a && in_b) {
        const std::uint32_t pa = a.PixelRgb(x, y), pb = b.PixelRgb(x, y);
        int* largest[3] = {&s.largest.red, &s.largest.green, &s.largest.blue};
        for (int c = 0; c < 3; ++c) {
          const int d = std::abs(static_cast<int>(pa >> (16 - 8 * c) & 0xFF) -
                                 static_cast<int>(pb >> (16 - 8 * c) & 0xFF));
          *largest[c] = std::max(*largest[c], d);
          differs |= d > tolerance;
        }
      }
      if (!differs) continue;
      ++s.differing;
      l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), bottom = std::max(bottom, y);
    }
  }
  if (s.differing > 0) s.bounds = {l, t, r + 1, bottom + 1};
  return s;
}

void ExpectLikePlainCount(const Bitmap& a, const Bitmap& b, int tolerance) {
  const std::optional<DiffResult> result = CompareBitmaps(a, b, tolerance);
  ASSERT_TRUE(result);
  const DiffStats plain = PlainStats(a, b, tolerance);
  EXPECT_EQ(result->stats, plain) << "differing " << result->stats.differing << " plain "
                                  << plain.differing;
  for (int y = 0; y < plain.height; ++y)
    for (int x = 0; x < plain.width; ++x) {
      const bool in_a = x < a.Width() && y < a.Height(), in_b = x < b.Width() && y < b.Height();
      bool differs = in_a != in_b;
      if (in_a && in_b) {
        const std::uint32_t pa = a.PixelRgb(x, y), pb = b.PixelRgb(x, y);
        for (int c = 0; c < 24; c += 8)
          differs |= std::abs(static_cast<int>(pa >> c & 0xFF) - static_cast<int>(pb >> c & 0xFF)) >
                     tolerance;
      }
      ASSERT_EQ(result->mask.Differs(x, y), differs) << x << "," << y;
    }
}

// Widths around the 16-pixel blocks and 64-pixel words, so tails and word edges show.
TEST(CompareCount, MatchesAPlainCountOnGeneratedPairs) {
  for (const int w : {1, 15, 16, 17, 63, 64, 65, 83, 130}) {
    const Bitmap a = Noise(w, 9, 1);
    const Bitmap same = a.Clone();
    ExpectLikePlainCount(a, same, 0);  // identical

    Bitmap one = a.Clone();  // one pixel, one channel, by one
    one.SetPixelRgb(w - 1, 4, one.PixelRgb(w - 1, 4) ^ 0x000100);
    ExpectLikePlainCount(a, one, 0);

    const Bitmap other = Noise(w, 9, 2);  // nearly every pixel
    ExpectLikePlainCount(a, other, 0);
    ExpectLikePlainCount(a, other, 100);
    Bitmap every = a.Clone();  // every pixel, in one channel of each
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < w; ++x)
        every.SetPixelRgb(x, y, every.PixelRgb(x, y) ^ (0x80u << (8 * ((x + y) % 3))));
    ExpectLikePlainCount(a, every, 0);
    const std::optional<DiffResult> all = CompareBitmaps(a, every, 0);
    EXPECT_EQ(all->stats.differing, static_cast<std::uint64_t>(w) * 9);
  }
}

TEST(CompareCount, DifferentSizesAlignAtTheTopLeft) {
  const Bitmap a = Noise(70, 20, 3);
  Bitmap b = Noise(50, 33, 4);
  for (int y = 0; y < 20; ++y)  // the shared part equal, so only the sides differ
    for (int x = 0; x < 50; ++x) b.SetPixelRgb(x, y, a.PixelRgb(x, y));
  ExpectLikePlainCount(a, b, 0);
  ExpectLikePlainCount(b, a, 0);
  const DiffStats s = CompareBitmaps(a, b, 0)->stats;
  EXPECT_EQ(s.width, 70);
  EXPECT_EQ(s.height, 33);
  // 20 x 20 right of B, 13 x 50 below A; the corner 20 x 13 nobody covers.
  EXPECT_EQ(s.differing, 20u * 20 + 13u * 50);
  EXPECT_EQ(s.bounds, (PixelRect{0, 0, 70, 33}));
  EXPECT_FALSE(CompareBitmaps(a, b, 0)->mask.Differs(60, 25));

  Bitmap empty;
  ExpectLikePlainCount(a, empty, 0);
  EXPECT_EQ(CompareBitmaps(empty, empty, 0)->stats, DiffStats{});
}

TEST(CompareCount, ADifferenceEqualToTheToleranceIsNotCountedOneMoreIs) {
  Bitmap a = Noise(40, 3, 5);
  a.SetPixelRgb(0, 1, 0x000000);  // room for a difference of 255 each way
  a.SetPixelRgb(1, 1, 0xFFFFFF);
  for (const int channel : {0, 8, 16}) {
    for (const int tolerance : {0, 1, 7, 254}) {
      Bitmap at = a.Clone(), over = a.Clone();
      for (int x = 0; x < 40; ++x) {
        const std::uint32_t p = a.PixelRgb(x, 1);
        const int v = static_cast<int>(p >> channel & 0xFF);
        // Up where there is room, down otherwise, so both signs are exercised.
        const int step_at = v + tolerance <= 255 ? tolerance : -tolerance;
        const int step_over = v + tolerance + 1 <= 255 ? tolerance + 1 : -(tolerance + 1);
        if (v + step_over < 0) continue;
        const auto with = [&](int value) {
          return (p & ~(0xFFu << channel)) | static_cast<std::uint32_t>(value) << channel;
        };
        at.SetPixelRgb(x, 1, with(v + step_at));
        over.SetPixelRgb(x, 1, with(v + step_over));
      }
      EXPECT_EQ(CompareBitmaps(a, at, tolerance)->stats.differing, 0u) << tolerance;
      EXPECT_GT(CompareBitmaps(a, over, tolerance)->stats.differing, 0u) << tolerance;
      ExpectLikePlainCount(a, over, tolerance);
    }
  }
  // 255 lets nothing both cover differ; the largest difference is still reported.
  const DiffStats s = CompareBitmaps(a, Noise(40, 3, 6), 255)->stats;
  EXPECT_EQ(s.differing, 0u);
  EXPECT_GT(s.largest.red, 200);
}

// Over a million pixels, so two threads share the rows.
TEST(CompareCount, LargePairOnTwoThreadsMatchesThePlainCount) {
  const Bitmap a = Noise(1203, 900, 7);
  Bitmap b = a.Clone();
  std::mt19937 random(8);
  for (int i = 0; i < 500; ++i)
    b.SetPixelRgb(static_cast<int>(random() % 1203), static_cast<int>(random() % 900),
                  random() & 0xFFFFFF);
  ExpectLikePlainCount(a, b, 3);
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(CompareBitmaps(a, b, 0, &cancel));
}

// Marks the given pixels of an otherwise equal 64 x 48 pair.
DiffMask MaskWith(const std::vector<SourcePoint>& points, int bw = 64, int bh = 48) {
  Bitmap a, b;
  a.Reset(64, 48);
  b.Reset(bw, bh);
  for (const SourcePoint& p : points) b.SetPixelRgb(p.X, p.Y, 0);
  return std::move(CompareBitmaps(a, b, 0)->mask);
}

TEST(CompareClusters, NearbyPixelsJoinAndClustersComeInReadingOrder) {
  // A V: two arms that meet only below, so they join late; its first pixel is the
  // top of the left arm, not the box's corner. A lone pixel further right starts on a
  // higher row, so it comes first. Two pixels 8 apart share one; 16 apart do not.
  const std::vector<SourcePoint> points = {{2, 10},  {5, 13},  {8, 16},  {11, 19},
                                           {14, 16}, {17, 13}, {20, 10},  // the V
                                           {50, 5},                       // lone, higher
                                           {40, 40}, {48, 40},            // 8 apart
                                           {10, 44}, {26, 44}};           // 16 apart
  const std::vector<DiffCluster> clusters = *FindDiffClusters(MaskWith(points));
  ASSERT_EQ(clusters.size(), 5u);
  EXPECT_EQ(clusters[0], (DiffCluster{{50, 5, 51, 6}, {50, 5}, 1}));
  EXPECT_EQ(clusters[1], (DiffCluster{{2, 10, 21, 20}, {2, 10}, 7}));
  EXPECT_EQ(clusters[2], (DiffCluster{{40, 40, 49, 41}, {40, 40}, 2}));
  EXPECT_EQ(clusters[3].first, (SourcePoint{10, 44}));
  EXPECT_EQ(clusters[4].first, (SourcePoint{26, 44}));

  EXPECT_EQ(NextDiffCluster(clusters, {-1, -1}, false), 0u);
  EXPECT_EQ(NextDiffCluster(clusters, {50, 5}, false), 1u);  // strictly after
  EXPECT_EQ(NextDiffCluster(clusters, {0, 20}, false), 2u);
  EXPECT_EQ(NextDiffCluster(clusters, {26, 44}, false), std::nullopt);
  EXPECT_EQ(NextDiffCluster(clusters, {26, 44}, true), 0u);
  EXPECT_EQ(PreviousDiffCluster(clusters, {2, 10}, false), 0u);  // strictly before
  EXPECT_EQ(PreviousDiffCluster(clusters, {50, 5}, false), std::nullopt);
  EXPECT_EQ(PreviousDiffCluster(clusters, {50, 5}, true), 4u);
  EXPECT_EQ(PreviousDiffCluster(clusters, {0, 47}, false), 4u);
  EXPECT_EQ(NextDiffCluster({}, {0, 0}, true), std::nullopt);
}

TEST(CompareClusters, WhatOnlyOneImageCoversIsACluster) {
  // B is 70 wide: columns 64..69 differ on every row of the shared height, joining the
  // pixel at (60, 30) next to them; the pixel at (3, 3) stays on its own.
  const std::vector<DiffCluster> clusters = *FindDiffClusters(MaskWith({{3, 3}, {60, 30}}, 70, 40));
  ASSERT_EQ(clusters.size(), 2u);
  // A reaches 8 rows below B, all of its width differing there: one cluster with the
  // strip, which starts on the top row and so comes first.
  EXPECT_EQ(clusters[0], (DiffCluster{{0, 0, 70, 48}, {64, 0}, 6u * 40 + 1 + 64u * 8}));
  EXPECT_EQ(clusters[1].first, (SourcePoint{3, 3}));
  EXPECT_TRUE(FindDiffClusters(MaskWith({}))->empty());
}

std::vector<ViewMapping> Mappings() {
  return {FittedViewMapping(1.0),
          FittedViewMapping(0.37),
          FittedViewMapping(3.0),
          {WholeMagnificationAxis(-5, 4), WholeMagnificationAxis(7, 3)},
          ZoomBoxViewMapping({10, 5, 50, 30}, 1.5, 37, 23)};
}

TEST(CompareRender, SplitShowsAThenBByTheSameMapping) {
  const Bitmap a = Noise(60, 40, 9), b = Noise(45, 50, 10);
  for (const ViewMapping& mapping : Mappings()) {
    ViewImage view, only_a, only_b;
    for (ViewImage* v : {&view, &only_a, &only_b}) v->Reset(37, 23);
    RenderMapped(a, only_a, mapping);
    RenderMapped(b, only_b, mapping);
    for (const int divider : {-3, 0, 1, 20, 37, 90}) {
      view.Reset(37, 23);
      RenderSplit(a, b, view, mapping, divider);
      for (int j = 0; j < 23; ++j)
        for (int i = 0; i < 37; ++i)
          ASSERT_EQ(view.Row(j)[i], i < divider ? only_a.Row(j)[i] : only_b.Row(j)[i])
              << i << "," << j << " divider " << divider;
    }
  }
}

TEST(CompareRender, DifferencePictureMarksDifferencesAndDimsTheRest) {
  const Bitmap a = Noise(60, 40, 11);
  Bitmap taller;  // B narrower and taller: each has a part of its own, and a corner is bare
  taller.Reset(45, 50);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 45; ++x) taller.SetPixelRgb(x, y, a.PixelRgb(x, y));
  taller.SetPixelRgb(7, 3, a.PixelRgb(7, 3) ^ 0x010000);
  const DiffResult diff = *CompareBitmaps(a, taller, 0);

  EXPECT_EQ(DifferencePixel(a, diff.mask, 7, 3), kDifferenceColour);
  EXPECT_EQ(DifferencePixel(a, diff.mask, 8, 3), DimmedGrey(a.PixelRgb(8, 3)));
  EXPECT_EQ(DifferencePixel(a, diff.mask, 50, 10), kDifferenceColour);  // only A
  EXPECT_EQ(DifferencePixel(a, diff.mask, 10, 45), kDifferenceColour);  // only B
  EXPECT_EQ(DifferencePixel(a, diff.mask, 50, 45), 0xFFFFFFu);          // neither
  EXPECT_EQ(DimmedGrey(0x000000), 0xAAAAAAu);
  EXPECT_EQ(DimmedGrey(0xFFFFFF), 0xFFFFFFu);

  const Bitmap picture = DifferencePicture(a, diff.mask);
  ASSERT_EQ(picture.Width(), 60);
  ASSERT_EQ(picture.Height(), 50);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_EQ(picture.PixelRgb(x, y), DifferencePixel(a, diff.mask, x, y));

  for (const ViewMapping& mapping : Mappings()) {
    ViewImage view;
    view.Reset(37, 23);
    view.Row(0)[0] = 0xFF000000u;  // stale content must be overwritten
    RenderDifference(a, diff.mask, view, mapping);
    for (int j = 0; j < 23; ++j)
      for (int i = 0; i < 37; ++i) {
        const std::int64_t x = mapping.x.Source(i), y = mapping.y.Source(j);
        const std::uint32_t expected =
            x < 0 || y < 0 || x >= 60 || y >= 50
                ? 0xFFFFFFu
                : DifferencePixel(a, diff.mask, static_cast<int>(x), static_cast<int>(y));
        ASSERT_EQ(view.Row(j)[i], 0xFF000000u | expected) << i << "," << j;
      }
  }
}

// A bitmap over 32 MiB, drawn by two threads, still lands every pixel where one would.
TEST(CompareRender, LargeRendersOnTwoThreadsMatchTheRule) {
  const Bitmap a = Noise(4000, 3000, 12);
  Bitmap b = a.Clone();
  for (int y = 0; y < 3000; y += 97) b.SetPixelRgb((y * 7) % 4000, y, 0);
  const DiffResult diff = *CompareBitmaps(a, b, 0);
  const ViewMapping mapping = FittedViewMapping(0.25);
  ViewImage view;
  view.Reset(1000, 750);
  RenderDifference(a, diff.mask, view, mapping);
  for (int j = 0; j < 750; ++j)
    for (int i = 0; i < 1000; ++i)
      ASSERT_EQ(view.Row(j)[i] & 0xFFFFFFu,
                DifferencePixel(a, diff.mask, static_cast<int>(mapping.x.Source(i)),
                                static_cast<int>(mapping.y.Source(j))));

  // A split, both halves drawn by the same two threads; B unlike A everywhere, so a
  // half drawn from the wrong bitmap shows.
  const Bitmap other = Noise(4000, 3000, 13);
  ViewImage only_a, only_b;
  only_a.Reset(1000, 750);
  only_b.Reset(1000, 750);
  RenderMapped(a, only_a, mapping);
  RenderMapped(other, only_b, mapping);
  RenderSplit(a, other, view, mapping, 333);
  for (int j = 0; j < 750; ++j)
    for (int i = 0; i < 1000; ++i)
      ASSERT_EQ(view.Row(j)[i], i < 333 ? only_a.Row(j)[i] : only_b.Row(j)[i]) << i << "," << j;
}

TEST(CompareText, ReadoutNamesBothColoursAndTheirDifference) {
  Bitmap a, b;
  a.Reset(30, 30);
  b.Reset(12, 30);
  a.SetPixelRgb(10, 20, 0x1E90FF);
  b.SetPixelRgb(10, 20, 0x1E8FFF);
  EXPECT_EQ(CompareReadoutText(a, b, {10, 20}), "[X: 10 Y: 20] A #1E90FF B #1E8FFF  R 0 G -1 B 0");
  a.SetPixelRgb(0, 0, 0x000000);
  EXPECT_EQ(CompareReadoutText(a, b, {0, 0}), "[X: 0 Y: 0] A #000000 B #FFFFFF  R 255 G 255 B 255");
  EXPECT_EQ(CompareReadoutText(a, b, {20, 1}), "[X: 20 Y: 1] A #FFFFFF B none");
  EXPECT_EQ(CompareReadoutText(a, b, {-1, 40}), "[X: -1 Y: 40] A none B none");
}

TEST(CompareText, InspectorTextsNameBothPixelsAndTheStatistics) {
  Bitmap a, b;
  a.Reset(30, 30);
  b.Reset(12, 30);
  a.SetPixelRgb(10, 20, 0x1E90FF);
  b.SetPixelRgb(10, 20, 0x1E8FFF);
  EXPECT_EQ(
      ComparePixelText(a, b, {10, 20}),
      "A  #1E90FF  R 30  G 144  B 255\nB  #1E8FFF  R 30  G 143  B 255\nB - A  R 0  G -1  B 0");
  EXPECT_EQ(ComparePixelText(a, b, {20, 0}), "A  #FFFFFF  R 255  G 255  B 255\nB  none");

  DiffStats s;
  s.width = 60;
  s.height = 40;
  s.largest = {1, 0, 2};
  EXPECT_EQ(DiffStatsText(s, 2),
            "Differences  (tolerance 2)\nNo pixel differs\nLargest  R 1  G 0  B 2");
  s.differing = 3;
  s.bounds = {10, 20, 15, 22};
  EXPECT_EQ(
      DiffStatsText(s, 0),
      "Differences  (tolerance 0)\n3 of 60 x 40 pixels differ\nBox  (10, 20) - (15, 22), 5 x 2\n"
      "Largest  R 1  G 0  B 2");
}

TEST(CompareText, SummaryLineIsStable) {
  DiffStats s;
  s.width = 6000;
  s.height = 4000;
  s.largest = {0, 1, 2};
  EXPECT_EQ(DiffSummaryLine(s), "differing=0 size=6000x4000 box=none largest=0,1,2");
  s.differing = 1234567;
  s.bounds = {10, 20, 1110, 2220};
  s.largest = {255, 0, 12};
  EXPECT_EQ(DiffSummaryLine(s),
            "differing=1234567 size=6000x4000 box=10,20,1110,2220 largest=255,0,12");
}

}  // namespace
}  // namespace zelk
