// Playback of EMF records: sizing from the frame, shapes, transforms, clipping,
// bitmaps with raster operations, paths, and the public sample file.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

// Every one of the 256 raster operations, on rows long enough for the whole-word
// path and its tail: each byte must follow the operation's truth table for the
// brush (pattern), source and destination bits.
TEST(EmfPlayback, EveryRasterOperationFollowsItsTruthTable) {
  constexpr int kWidth = 13;
  std::vector<std::uint32_t> source(kWidth), destination(kWidth);
  for (int i = 0; i < kWidth; ++i) {
    source[static_cast<std::size_t>(i)] = 0x9E3779u * static_cast<std::uint32_t>(i + 1) & 0xFFFFFF;
    destination[static_cast<std::size_t>(i)] =
        0x7F4A7Cu * static_cast<std::uint32_t>(i + 3) & 0xFFFFFF;
  }
  const Bytes src_dib = test::Dib24(kWidth, 1, source),
              dst_dib = test::Dib24(kWidth, 1, destination);
  constexpr std::uint32_t kBrush = 0x96C30F;  // COLORREF: red 0x0F, green 0xC3, blue 0x96
  EmfBuilder b = WithBrush(kBrush);
  for (int code = 0; code < 256; ++code) {
    b.Raw(81, StretchDiBits(0, code, kWidth, 1, kWidth, 1, 0x00CC0020, dst_dib));
    b.Raw(81, StretchDiBits(0, code, kWidth, 1, kWidth, 1, static_cast<std::uint32_t>(code) << 16,
                            src_dib));
  }
  const Bitmap out = Play(b.Build(kWidth, 256));
  const std::uint32_t pattern = (kBrush & 0xFF) << 16 | (kBrush & 0xFF00) | kBrush >> 16;
  for (int code = 0; code < 256; ++code) {
    for (int x = 0; x < kWidth; ++x) {
      const std::uint32_t p = pattern, sv = source[static_cast<std::size_t>(x)],
                          d = destination[static_cast<std::size_t>(x)];
      std::uint32_t expected = 0;
      for (int k = 0; k < 8; ++k)
        if ((code >> k) & 1)
          expected |= ((k & 4) ? p : ~p) & ((k & 2) ? sv : ~sv) & ((k & 1) ? d : ~d);
      ASSERT_EQ(out.PixelRgb(x, code), expected & 0xFFFFFF) << "operation " << code << ", x " << x;
    }
  }
}

// Regions filled, framed and inverted, an arc joined to the current position, and
// glyph-index text in a font that is not here, which must leave only its opaque box.
TEST(EmfPlayback, RegionsArcsAndGlyphIndexText) {
  auto region = [](std::initializer_list<std::array<int, 4>> rects) {
    Bytes r;
    for (std::uint32_t v : {32u, 1u, static_cast<std::uint32_t>(rects.size()),
                            static_cast<std::uint32_t>(16 * rects.size()), 0u, 0u, 0u, 0u})
      test::Put32(r, v);
    for (const auto& rect : rects)
      for (int v : rect) test::Put32(r, static_cast<std::uint32_t>(v));
    return r;
  };
  auto with_bounds = [](std::initializer_list<std::uint32_t> head, const Bytes& data) {
    Bytes p(16, 0);
    for (std::uint32_t v : head) test::Put32(p, v);
    p.insert(p.end(), data.begin(), data.end());
    return p;
  };
  EmfBuilder b = WithBrush(0x0000FF);
  b.Rec(39, {2, 0, 0xFF0000, 0});  // blue brush in slot 2
  const Bytes two = region({{0, 0, 10, 10}, {10, 10, 20, 20}});
  b.Raw(71, with_bounds({static_cast<std::uint32_t>(two.size()), 2}, two));  // FILLRGN blue
  const Bytes box = region({{30, 0, 50, 20}});
  b.Raw(72, with_bounds({static_cast<std::uint32_t>(box.size()), 1, 2, 2}, box));  // FRAMERGN red
  const Bytes corner = region({{0, 30, 10, 40}});
  b.Raw(73, with_bounds({static_cast<std::uint32_t>(corner.size())}, corner));  // INVERTRGN
  b.Rec(37, {0x80000007});                                                      // black pen
  b.Rec(27, {60, 5});  // MOVETOEX, then ANGLEARC centre (70, 20), radius 10, 90 degrees from 0
  b.Rec(41, {70, 20, 10, 0, Float(90)});
  // EXTTEXTOUTW with ETO_GLYPH_INDEX | ETO_OPAQUE in a font that does not exist.
  Bytes font;
  test::Put32(font, 3);
  for (int v : {-12, 0, 0, 0, 400}) test::Put32(font, static_cast<std::uint32_t>(v));
  font.resize(font.size() + 8);
  for (char c : std::string("No Such Font Zq")) test::Put16(font, static_cast<std::uint8_t>(c));
  font.resize(4 + 20 + 8 + 64, 0);
  b.Raw(82, font).Rec(37, {3}).Rec(25, {0x00FF00});
  Bytes text;
  for (std::int64_t v : {0, 0, 0, 0, 1, 0, 0, 40, 38, 2, 76, 0x12, 40, 30, 60, 40, 0})
    test::Put32(text, static_cast<std::uint32_t>(v));
  test::Put16(text, 36), test::Put16(text, 37);
  b.Raw(84, text);
  const Bitmap out = Play(b.Build(80, 40));
  EXPECT_EQ(out.PixelRgb(5, 5), kBlue);
  EXPECT_EQ(out.PixelRgb(15, 15), kBlue);
  EXPECT_EQ(out.PixelRgb(15, 5), kWhite);
  EXPECT_EQ(out.PixelRgb(30, 10), kRed);  // frame, 2 pixels thick
  EXPECT_EQ(out.PixelRgb(31, 10), kRed);
  EXPECT_EQ(out.PixelRgb(33, 10), kWhite);
  EXPECT_EQ(out.PixelRgb(5, 35), 0x000000u);  // white inverted
  // The line from (60, 5) to the arc's start at (80, 20), then the arc counter-clockwise
  // through the upper right to (70, 10).
  auto black_near = [&](int x, int y) {
    for (int ny = y - 1; ny <= y + 1; ++ny)
      for (int nx = x - 1; nx <= x + 1; ++nx)
        if (out.PixelRgb(nx, ny) == 0) return true;
    return false;
  };
  EXPECT_TRUE(black_near(64, 8));
  EXPECT_TRUE(black_near(77, 13));
  EXPECT_TRUE(black_near(70, 10));
  EXPECT_FALSE(black_near(77, 27));
  for (int y = 30; y < 40; ++y)
    for (int x = 40; x < 60; ++x) ASSERT_EQ(out.PixelRgb(x, y), 0x00FF00u) << x << ", " << y;
}

// A description written where the optional header extensions would be is a
// description: its characters must not be taken for the device's size.
TEST(EmfPlayback, DescriptionInTheExtensionAreaIsNotASize) {
  EmfBuilder b = WithBrush(0x0000FF);
  b.Rec(43, {10, 10, 30, 30});
  Bytes emf = b.Build(40, 40);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      emf[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(60, 10), put32(64, 88);  // ten characters at offset 88, up to the first record
  for (std::size_t at = 88; at < 108; at += 2) emf[at] = 'A', emf[at + 1] = 0;
  const Bitmap out = Play(emf);
  EXPECT_EQ(out.PixelRgb(20, 20), kRed);
  EXPECT_EQ(out.PixelRgb(35, 35), kWhite);
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
