// Playback of EMF records: sizing from the frame, shapes, transforms, clipping,
// bitmaps with raster operations, paths, and the public sample file.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "codecs/metafile_reader.h"
#include "metafile_test_support.h"

namespace zelk {
namespace {

using test::Bytes;
using test::EmfBuilder;

constexpr std::uint32_t kRed = 0xFF0000, kWhite = 0xFFFFFF, kBlue = 0x0000FF;
constexpr std::int64_t kNullPen = 0x80000008;

Bitmap Play(const Bytes& emf) {
  test::EnsureGuiApplication();
  Bitmap out;
  ReadEmf(emf.data(), emf.size(), out);
  return out;
}

// A solid brush in slot 1, selected, and no outline.
EmfBuilder WithBrush(std::uint32_t colorref) {
  EmfBuilder b;
  b.Rec(39, {1, 0, colorref, 0}).Rec(37, {1}).Rec(37, {kNullPen});
  return b;
}

std::uint32_t Float(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

TEST(EmfPlayback, FrameGivesTheSizeAndDevicePixelsMapOneToOne) {
  EmfBuilder b = WithBrush(0x0000FF);
  b.Rec(43, {10, 20, 30, 40});
  const Bitmap out = Play(b.Build(64, 48));
  ASSERT_EQ(out.Width(), 64);
  ASSERT_EQ(out.Height(), 48);
  EXPECT_EQ(out.PixelRgb(10, 20), kRed);
  EXPECT_EQ(out.PixelRgb(29, 39), kRed);
  EXPECT_EQ(out.PixelRgb(30, 30), kWhite);
  EXPECT_EQ(out.PixelRgb(20, 40), kWhite);
}

TEST(EmfPlayback, PolygonsInBothPointSizes) {
  EmfBuilder b = WithBrush(0xFF0000);
  // POLYGON16: bounds, count, then 16-bit points.
  Bytes p16;
  for (int v : {0, 0, 0, 0, 3}) test::Put32(p16, static_cast<std::uint32_t>(v));
  for (int v : {0, 0, 20, 0, 0, 20}) test::Put16(p16, static_cast<std::uint32_t>(v));
  b.Raw(86, p16);
  // POLYPOLYGON (32-bit): two squares.
  b.Rec(8, {0, 0, 0, 0, 2, 8, 4, 4, 30, 0, 40, 0, 40, 10, 30, 10, 30, 30, 40, 30, 40, 40, 30, 40});
  const Bitmap out = Play(b.Build(50, 50));
  EXPECT_EQ(out.PixelRgb(3, 3), kBlue);
  EXPECT_EQ(out.PixelRgb(15, 15), kWhite);
  EXPECT_EQ(out.PixelRgb(35, 5), kBlue);
  EXPECT_EQ(out.PixelRgb(35, 35), kBlue);
  EXPECT_EQ(out.PixelRgb(35, 20), kWhite);
}

TEST(EmfPlayback, WorldTransformAndMappingModes) {
  EmfBuilder b = WithBrush(0x0000FF);
  b.Rec(33, {});  // save
  // Scale by 2 and move by (10, 0).
  b.Rec(35, {Float(2), Float(0), Float(0), Float(2), Float(10), Float(0)});
  b.Rec(43, {0, 0, 5, 5});  // 10..20 x 0..10
  b.Rec(34, {-1});
  // Anisotropic: a 10 x 10 window onto a 40 x 40 viewport at (0, 20).
  b.Rec(17, {8}).Rec(9, {10, 10}).Rec(11, {40, 40}).Rec(12, {0, 20});
  b.Rec(43, {0, 0, 1, 1});  // 0..4 x 20..24
  const Bitmap out = Play(b.Build(50, 50));
  EXPECT_EQ(out.PixelRgb(10, 0), kRed);
  EXPECT_EQ(out.PixelRgb(19, 9), kRed);
  EXPECT_EQ(out.PixelRgb(2, 2), kWhite);
  EXPECT_EQ(out.PixelRgb(3, 23), kRed);
  EXPECT_EQ(out.PixelRgb(5, 23), kWhite);
}

TEST(EmfPlayback, ClippingLimitsDrawingUntilRestored) {
  EmfBuilder b = WithBrush(0x0000FF);
  b.Rec(33, {});
  b.Rec(30, {10, 10, 20, 20});  // intersect
  b.Rec(29, {10, 10, 15, 15});  // exclude the top-left quarter
  b.Rec(43, {0, 0, 40, 40});
  b.Rec(34, {-1});
  b.Rec(39, {2, 0, 0xFF0000, 0}).Rec(37, {2});
  b.Rec(43, {30, 30, 40, 40});  // unclipped again
  const Bitmap out = Play(b.Build(40, 40));
  EXPECT_EQ(out.PixelRgb(17, 17), kRed);
  EXPECT_EQ(out.PixelRgb(12, 12), kWhite);
  EXPECT_EQ(out.PixelRgb(5, 5), kWhite);
  EXPECT_EQ(out.PixelRgb(25, 25), kWhite);
  EXPECT_EQ(out.PixelRgb(35, 35), kBlue);
}

TEST(EmfPlayback, PathsFillTheirFigures) {
  EmfBuilder b = WithBrush(0x0000FF);
  b.Rec(59, {});  // begin path
  b.Rec(27, {0, 0}).Rec(54, {30, 0}).Rec(54, {30, 30}).Rec(54, {0, 30});
  b.Rec(61, {}).Rec(60, {});  // close figure, end path
  b.Rec(62, {0, 0, 0, 0});    // fill path
  const Bitmap out = Play(b.Build(40, 40));
  EXPECT_EQ(out.PixelRgb(15, 15), kRed);
  EXPECT_EQ(out.PixelRgb(35, 35), kWhite);
}

Bytes StretchDiBits(int dx, int dy, int dw, int dh, int sw, int sh, std::uint32_t rop,
                    const Bytes& dib) {
  Bytes p;
  for (std::int64_t v :
       {0, 0, 0, 0, dx, dy, 0, 0, sw, sh, 80, 40, 120, static_cast<int>(dib.size()) - 40, 0})
    test::Put32(p, static_cast<std::uint32_t>(v));
  test::Put32(p, rop);
  test::Put32(p, static_cast<std::uint32_t>(dw));
  test::Put32(p, static_cast<std::uint32_t>(dh));
  p.insert(p.end(), dib.begin(), dib.end());
  return p;
}

TEST(EmfPlayback, BitmapsCopyExactlyAndCombineByRasterOperation) {
  const std::vector<std::uint32_t> pixels = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
  const Bytes dib = test::Dib24(2, 2, pixels);
  EmfBuilder b = WithBrush(0x00FF00);
  b.Raw(81, StretchDiBits(0, 0, 2, 2, 2, 2, 0x00CC0020, dib));    // copy
  b.Raw(81, StretchDiBits(10, 0, 6, 6, 2, 2, 0x00CC0020, dib));   // three times larger
  b.Raw(81, StretchDiBits(0, 10, 2, -2, 2, 2, 0x00CC0020, dib));  // upside down
  b.Raw(81, StretchDiBits(20, 10, 2, 2, 2, 2, 0x00660046, dib));  // SRCINVERT on white
  // BITBLT without a bitmap, PATCOPY: fills with the green brush.
  b.Rec(76, {0, 0, 0,        0, 30, 0, 4, 4, 0x00F00021, 0, 0, Float(1),
             0, 0, Float(1), 0, 0,  0, 0, 0, 0,          0, 0});
  const Bitmap out = Play(b.Build(40, 20));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out.PixelRgb(i % 2, i / 2), pixels[i]);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(out.PixelRgb(10 + x, y), pixels[(y / 3) * 2 + x / 3]);
  // The destination box of height -2 at y = 10 covers rows 8 and 9, mirrored.
  EXPECT_EQ(out.PixelRgb(0, 8), pixels[2]);
  EXPECT_EQ(out.PixelRgb(1, 9), pixels[1]);
  EXPECT_EQ(out.PixelRgb(20, 10), 0xFFFFFFu ^ pixels[0]);
  EXPECT_EQ(out.PixelRgb(31, 1), 0x00FF00u);
  EXPECT_EQ(out.PixelRgb(34, 1), kWhite);
}

TEST(EmfPlayback, TextComesOutInTheTextColour) {
  EmfBuilder b;
  // EXTCREATEFONTINDIRECTW: slot 1, height -30.
  Bytes font;
  test::Put32(font, 1);
  for (int v : {-30, 0, 0, 0, 400}) test::Put32(font, static_cast<std::uint32_t>(v));
  font.resize(font.size() + 8 + 64, 0);
  b.Raw(82, font).Rec(37, {1});
  b.Rec(24, {0x0000FF}).Rec(18, {1});
  // EXTTEXTOUTW "XX" at (5, 5), options 0, no advances.
  Bytes text;
  for (std::int64_t v : {0, 0, 0, 0, 1, 0, 0, 5, 5, 2, 76, 0, 0, 0, 0, 0, 0})
    test::Put32(text, static_cast<std::uint32_t>(v));
  test::Put16(text, 'X'), test::Put16(text, 'X');
  b.Raw(84, text);
  const Bitmap out = Play(b.Build(80, 40));
  int red = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x) red += out.PixelRgb(x, y) == kRed;
  EXPECT_GT(red, 40);
}

TEST(EmfPlayback, PublicSampleDrawing) {
  const auto path = std::filesystem::path(ZELK_TESTDATA_DIR) / "metafile" / "drawing.emf";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "test data absent: " << path;
  const Bytes data = test::ReadAll(path);
  const Bitmap out = Play(data);
  // The frame is 28.99 mm square: 110 pixels at 96 dots per inch.
  EXPECT_EQ(out.Width(), 110);
  EXPECT_EQ(out.Height(), 110);
  // A red disc with a thin black outline, centred in the frame.
  EXPECT_EQ(out.PixelRgb(55, 55), kRed);
  EXPECT_EQ(out.PixelRgb(3, 3), kWhite);
  EXPECT_EQ(out.PixelRgb(106, 106), kWhite);
  EXPECT_LT(out.PixelRgb(55, 1) & 0xFF, 0x80u);  // outline at the top: dark
  int coloured = 0;
  for (int y = 0; y < out.Height(); ++y)
    for (int x = 0; x < out.Width(); ++x) coloured += out.PixelRgb(x, y) != kWhite;
  EXPECT_GT(coloured, 1000);
}

}  // namespace
}  // namespace zelk
