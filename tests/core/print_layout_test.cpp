#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "core/print/print_layout.h"
#include "core/print/print_resample.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

TEST(PrintTitleTest, KeepsPathSizeAndDimensionsOfTheCaption) {
  EXPECT_EQ(PrintTitleFromCaption(
                "3/12 /home/ann/my photos/a b.jpg  1,234,567 bytes  W 2,048  H 1,536  Mag X 0.38"),
            "/home/ann/my photos/a b.jpg  1,234,567 bytes  W 2,048  H 1,536");
  // The first marker ends the title, even when the path itself holds one.
  EXPECT_EQ(PrintTitleFromCaption("1/1 /x  Mag X y/p.png  5 bytes  W 1  H 1  Mag X 1"), "/x");
  EXPECT_EQ(PrintTitleFromCaption("Zelk Zoomer"), "");
  EXPECT_EQ(PrintTitleFromCaption(""), "");
  EXPECT_EQ(PrintTitleFromCaption("  Mag X 2"), "");  // marker at the first blank
  EXPECT_EQ(PrintTitleFromCaption("a   Mag X 2"), "");
  EXPECT_EQ(PrintTitleFromCaption("1/1 b  Mag X 2"), "b");
}

TEST(PrintLayoutTest, OrientationFollowsTheImageShape) {
  EXPECT_TRUE(PrintsLandscape(1000, 800));
  EXPECT_TRUE(PrintsLandscape(2, 1));
  EXPECT_FALSE(PrintsLandscape(800, 800));
  EXPECT_FALSE(PrintsLandscape(800, 1000));
}

TEST(PrintLayoutTest, PictureFillsThePageBelowTheBand) {
  // 1000 x 800 on a 6600 x 4900 landscape page: s = min(6.6, 6.0).
  EXPECT_DOUBLE_EQ(PrintScale(6600, 4900, 1000, 800), 6.0);
  EXPECT_EQ(PrintPictureRect(6600, 4900, 1000, 800), (PrintRect{0, 100, 5999, 4899}));

  // Wide and flat: the width limits (s = 6600 / 3000 = 2.2).
  const PrintRect wide = PrintPictureRect(6600, 4900, 3000, 100);
  EXPECT_EQ(wide, (PrintRect{0, 100, 6599, 100 + 219}));
  EXPECT_LE(wide.right, 6600);

  // Tall: the height below the band limits (s = 6500 / 3250 = 2).
  const PrintRect tall = PrintPictureRect(4900, 6600, 1000, 3250);
  EXPECT_EQ(tall, (PrintRect{0, 100, 1999, 100 + 6499}));
  EXPECT_LE(tall.bottom, 6600);
}

TEST(PrintLayoutTest, ThinImagesKeepAPixelAndImpossiblePagesThrow) {
  // 20000 x 1 on 6600 wide: s = 0.33, s*h - 1 < 0, yet one row is printed.
  const PrintRect strip = PrintPictureRect(6600, 4900, 20000, 1);
  EXPECT_EQ(strip.Height(), 1);
  EXPECT_EQ(strip.Width(), 6599);
  EXPECT_THROW(PrintPictureRect(600, 100, 10, 10), std::runtime_error);
  EXPECT_THROW(PrintPictureRect(0, 800, 10, 10), std::runtime_error);
  EXPECT_THROW(PrintPictureRect(600, 800, 0, 10), std::runtime_error);
}

// A picture rendered in one band.
std::vector<std::uint32_t> Render(const Bitmap& source, int width, int height) {
  PrintResampler resampler(source, width, height);
  std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
  resampler.RenderRows(0, height, out.data(), width);
  return out;
}

Bitmap Checkerboard(int width, int height) {
  Bitmap bitmap;
  bitmap.Reset(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.SetPixelRgb(x, y, (x + y) % 2 ? 0xFFFFFF : 0x000000);
  return bitmap;
}

TEST(PrintResampleTest, EnlargementRepeatsWholeSourcePixels) {
  Bitmap source;
  source.Reset(3, 2);
  const std::uint32_t colours[2][3] = {{0x102030, 0x405060, 0x708090},
                                       {0xA0B0C0, 0xD0E0F0, 0x010203}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) source.SetPixelRgb(x, y, colours[y][x]);

  // 3 x 2 -> 7 x 5: uneven but whole repeats; every printed pixel is a source colour.
  const auto out = Render(source, 7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      const int sx = (2 * x + 1) * 3 / 14;
      const int sy = (2 * y + 1) * 2 / 10;
      EXPECT_EQ(out[y * 7 + x], 0xFF000000u | colours[sy][sx]) << x << "," << y;
    }

  // Same size is an exact copy.
  const auto same = Render(source, 3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(same[y * 3 + x], 0xFF000000u | colours[y][x]);
}

TEST(PrintResampleTest, ReductionAveragesTheCoveredArea) {
  // A one-pixel checkerboard reduced 4x prints mid-grey, not black or white stripes.
  for (const std::uint32_t px : Render(Checkerboard(64, 48), 16, 12)) EXPECT_EQ(px, 0xFF808080u);

  // Non-integer ratios keep a flat colour exact and a checkerboard near grey.
  Bitmap flat;
  flat.Reset(101, 77);
  flat.Fill(0x3C7FD2);
  for (const std::uint32_t px : Render(flat, 13, 9)) EXPECT_EQ(px, 0xFF3C7FD2u);
  for (const std::uint32_t px : Render(Checkerboard(101, 77), 13, 9)) {
    const int grey = px & 0xFF;
    EXPECT_NEAR(grey, 128, 3);
    EXPECT_EQ((px >> 8) & 0xFF, px & 0xFF);
  }

  // Exact weights: 3 -> 2 splits the middle column half and half.
  Bitmap row;
  row.Reset(3, 1);
  row.SetPixelRgb(0, 0, 0x000000);
  row.SetPixelRgb(1, 0, 0x000000);
  row.SetPixelRgb(2, 0, 0xFFFFFF);
  const auto two = Render(row, 2, 1);
  EXPECT_EQ(two[0], 0xFF000000u);
  EXPECT_EQ(two[1], 0xFFAAAAAAu);  // (0 * 1 + 255 * 2) / 3 = 170
}

TEST(PrintResampleTest, MixedAxesAndBandsGiveTheSamePicture) {
  // Wider print than source, fewer rows: columns repeat, rows average.
  Bitmap stripes;
  stripes.Reset(4, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 4; ++x) stripes.SetPixelRgb(x, y, y % 2 ? 0xFF0000 : 0x0000FF);
  const auto mixed = Render(stripes, 8, 10);
  for (const std::uint32_t px : mixed) EXPECT_EQ(px, 0xFF800080u);

  // Rendering in bands of odd heights, out of order, equals rendering in one go.
  const Bitmap board = Checkerboard(37, 53);
  for (const auto& [w, h] : {std::pair{11, 17}, std::pair{80, 120}, std::pair{37, 20}}) {
    const auto whole = Render(board, w, h);
    PrintResampler resampler(board, w, h);
    std::vector<std::uint32_t> banded(static_cast<std::size_t>(w) * h, 0);
    for (int first : {7, 0, 14}) {
      const int rows = std::min(7, h - first);
      resampler.RenderRows(first, rows, banded.data() + first * w, w);
    }
    for (int first = 21; first < h; first += 7)
      resampler.RenderRows(first, std::min(7, h - first), banded.data() + first * w, w);
    EXPECT_EQ(banded, whole) << w << "x" << h;
  }
}

}  // namespace
}  // namespace zelk
