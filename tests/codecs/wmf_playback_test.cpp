// Playback of WMF records: mapping, shapes, objects, bitmaps and text.

#include <gtest/gtest.h>

#include "codecs/metafile_reader.h"
#include "metafile_test_support.h"

namespace zelk {
namespace {

using test::Bytes;
using test::WmfBuilder;

constexpr std::uint32_t kRed = 0xFF0000, kWhite = 0xFFFFFF, kBlue = 0x0000FF;

Bitmap Play(const Bytes& wmf) {
  test::EnsureGuiApplication();
  Bitmap out;
  ReadWmf(wmf.data(), wmf.size(), out);
  return out;
}

// Logical units of 0.1 pixel: a 1000-unit box at 960 units per inch is 100 pixels.
WmfBuilder Tenths() {
  WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {1000, 1000});
  return b;
}

TEST(WmfPlayback, PlaceableBoxMapsTheWindowOntoThePicture) {
  WmfBuilder b = Tenths();
  b.Rec(0x02FC, {0, 0x00FF, 0x0000, 0})  // red solid brush
      .Rec(0x012D, {0})
      .Rec(0x02FA, {5, 0, 0, 0, 0})  // null pen
      .Rec(0x012D, {1})
      .Rec(0x041B, {600, 800, 200, 100});  // rectangle 100,200 - 800,600
  const Bitmap out = Play(b.Build(1000, 1000, 960));
  ASSERT_EQ(out.Width(), 100);
  ASSERT_EQ(out.Height(), 100);
  EXPECT_EQ(out.PixelRgb(10, 20), kRed);   // top-left corner inside
  EXPECT_EQ(out.PixelRgb(79, 59), kRed);   // bottom-right corner inside
  EXPECT_EQ(out.PixelRgb(9, 20), kWhite);  // just outside
  EXPECT_EQ(out.PixelRgb(80, 40), kWhite);
  EXPECT_EQ(out.PixelRgb(50, 60), kWhite);
}

TEST(WmfPlayback, PlainFileTakesItsSizeFromTheWindowExtent) {
  WmfBuilder b;
  b.Rec(0x0103, {8}).Rec(0x020B, {0, 0}).Rec(0x020C, {40, 60});
  const Bitmap out = Play(b.Build());
  EXPECT_EQ(out.Width(), 60);
  EXPECT_EQ(out.Height(), 40);
}

TEST(WmfPlayback, ShapesFillWithTheSelectedBrush) {
  WmfBuilder b = Tenths();
  b.Rec(0x02FC, {0, 0x0000, 0x00FF, 0})  // blue brush (COLORREF 0x00FF0000)
      .Rec(0x012D, {0})
      .Rec(0x0418, {1000, 500, 0, 0})                  // ellipse in the left half
      .Rec(0x0324, {3, 600, 0, 1000, 0, 1000, 400})    // triangle at the top right
      .Rec(0x061C, {100, 100, 1000, 1000, 600, 600});  // round rect bottom right
  const Bitmap out = Play(b.Build(1000, 1000, 960));
  EXPECT_EQ(out.PixelRgb(25, 50), kBlue);   // ellipse centre
  EXPECT_EQ(out.PixelRgb(1, 1), kWhite);    // outside the ellipse's curve
  EXPECT_EQ(out.PixelRgb(95, 5), kBlue);    // inside the triangle
  EXPECT_EQ(out.PixelRgb(65, 35), kWhite);  // below its hypotenuse
  EXPECT_EQ(out.PixelRgb(80, 80), kBlue);   // round rect
  // The default pen is black: the ellipse's outline at its leftmost point.
  EXPECT_EQ(out.PixelRgb(0, 50), 0x000000u);
}

TEST(WmfPlayback, ObjectsTakeTheLowestFreeSlotAndDeletedOnesAreNotSelected) {
  WmfBuilder b = Tenths();
  b.Rec(0x02FA, {5, 0, 0, 0, 0})  // slot 0: null pen
      .Rec(0x012D, {0})
      .Rec(0x02FC, {0, 0x00FF, 0x0000, 0})  // slot 1: red
      .Rec(0x02FC, {0, 0x0000, 0x00FF, 0})  // slot 2: blue
      .Rec(0x01F0, {1})                     // delete red
      .Rec(0x02FC, {0, 0xFF00, 0x0000, 0})  // green takes slot 1
      .Rec(0x012D, {1})
      .Rec(0x041B, {500, 500, 0, 0})
      .Rec(0x01F0, {2})
      .Rec(0x012D, {2})  // deleted: the green brush stays selected
      .Rec(0x041B, {1000, 1000, 500, 500});
  const Bitmap out = Play(b.Build(1000, 1000, 960));
  EXPECT_EQ(out.PixelRgb(20, 20), 0x00FF00u);
  EXPECT_EQ(out.PixelRgb(70, 70), 0x00FF00u);
}

TEST(WmfPlayback, SaveAndRestoreBringBackMappingAndBrush) {
  WmfBuilder b = Tenths();
  b.Rec(0x02FA, {5, 0, 0, 0, 0})
      .Rec(0x012D, {0})
      .Rec(0x02FC, {0, 0x00FF, 0x0000, 0})
      .Rec(0x012D, {1})
      .Rec(0x001E, {})            // save
      .Rec(0x020B, {-500, -500})  // shift the window origin
      .Rec(0x02FC, {0, 0x0000, 0x00FF, 0})
      .Rec(0x012D, {2})
      .Rec(0x041B, {0, 0, -100, -100})          // blue at 40..50 px
      .Rec(0x0127, {static_cast<int>(0xFFFF)})  // restore -1
      .Rec(0x041B, {100, 100, 0, 0});           // red at 0..10 px
  const Bitmap out = Play(b.Build(1000, 1000, 960));
  EXPECT_EQ(out.PixelRgb(45, 45), kBlue);
  EXPECT_EQ(out.PixelRgb(5, 5), kRed);
}

TEST(WmfPlayback, StretchDibIsExactAtOneToOneAndNearestNeighbourWhenScaled) {
  const std::vector<std::uint32_t> pixels = {0x112233, 0x445566, 0x778899,
                                             0xAABBCC, 0xDDEEFF, 0x010203};
  const Bytes dib = test::Dib24(3, 2, pixels);
  auto stretch = [&](int dx, int dy, int dw, int dh) {
    Bytes p;
    for (int w : {0x0020, 0x00CC, 0, 2, 3, 0, 0, dh, dw, dy, dx})
      test::Put16(p, static_cast<std::uint32_t>(w));
    p.insert(p.end(), dib.begin(), dib.end());
    return p;
  };
  WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {10, 20});
  b.Raw(0x0F43, stretch(0, 0, 3, 2)).Raw(0x0F43, stretch(10, 0, 6, 4));
  const Bitmap out = Play(b.Build(20, 10, 96));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(out.PixelRgb(x, y), pixels[y * 3 + x]) << x << "," << y;
  // Doubled: each source pixel covers 2 x 2 destination pixels.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(out.PixelRgb(10 + x, y), pixels[(y / 2) * 3 + x / 2]) << x << "," << y;
  EXPECT_EQ(out.PixelRgb(3, 0), kWhite);
}

TEST(WmfPlayback, TextIsDrawnInTheTextColour) {
  WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {60, 200});
  b.Rec(0x02FB, {-40, 0, 0, 0, 700, 0, 0, 0});  // 40-pixel bold font
  b.Rec(0x012D, {0});
  b.Rec(0x0209, {0x00FF, 0x0000});  // red text
  b.Rec(0x0102, {1});               // transparent background
  Bytes text;
  test::Put16(text, 4);
  for (char c : std::string("HHHH")) text.push_back(static_cast<std::uint8_t>(c));
  test::Put16(text, 10), test::Put16(text, 10);  // y, x
  b.Raw(0x0521, text);
  const Bitmap out = Play(b.Build(200, 60, 96));
  int red = 0;
  for (int y = 0; y < out.Height(); ++y)
    for (int x = 0; x < out.Width(); ++x)
      if (out.PixelRgb(x, y) == kRed) ++red;
  EXPECT_GT(red, 100);
  EXPECT_EQ(out.PixelRgb(5, 5), kWhite);  // before the text's box
}

// A drawing that its writer put off its own box, past one edge only, is centred on
// the picture; one that overflows both edges is shown as the mapping places it.
TEST(WmfPlayback, DrawingOffItsBoxIsFramedWhenItFits) {
  auto picture = [](std::initializer_list<int> rectangle) {
    WmfBuilder b;
    b.Rec(0x020B, {0, 0}).Rec(0x020C, {100, 100});
    b.Rec(0x02FC, {0, 0x00FF, 0, 0}).Rec(0x012D, {0});
    b.Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1});
    b.Rec(0x041B, rectangle);
    return Play(b.Build(100, 100, 96));
  };
  // Rectangle 60..130 x 10..40: 45 pixels too far right.
  const Bitmap strayed = picture({40, 130, 10, 60});
  EXPECT_EQ(strayed.PixelRgb(15, 20), kRed);
  EXPECT_EQ(strayed.PixelRgb(84, 20), kRed);
  EXPECT_EQ(strayed.PixelRgb(86, 20), kWhite);
  EXPECT_EQ(strayed.PixelRgb(14, 20), kWhite);
  // -10..110: over both edges, left as it is.
  const Bitmap wide = picture({40, 110, 10, -10});
  EXPECT_EQ(wide.PixelRgb(0, 20), kRed);
  EXPECT_EQ(wide.PixelRgb(99, 20), kRed);
  EXPECT_EQ(wide.PixelRgb(50, 5), kWhite);
}

// A region object: filled, framed, inverted, and selected as the clipping region.
TEST(WmfPlayback, RegionsFillFrameInvertAndClip) {
  WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {40, 60});
  b.Rec(0x02FC, {0, 0x00FF, 0, 0});  // 0: red brush
  b.Rec(0x02FC, {0, 0, 0x00FF, 0});  // 1: blue brush
  b.Rec(0x02FA, {5, 0, 0, 0, 0});    // 2: null pen
  // 3: a region of one band, rows 0..20, columns 0..20 and 30..50.
  b.Rec(0x06FF, {0, 6, 0, 0, 40, 1, 16, 0, 0, 50, 20, 4, 0, 20, 0, 20, 30, 50, 4});
  b.Rec(0x0228, {3, 0});                                             // FILLREGION red
  b.Rec(0x0429, {3, 1, 2, 2});                                       // FRAMEREGION blue, 2 x 2
  b.Rec(0x012C, {3});                                                // SELECTCLIPREGION
  b.Rec(0x012D, {1}).Rec(0x012D, {2}).Rec(0x041B, {40, 60, 10, 0});  // blue box, clipped
  b.Rec(0x012C, {0xFFFF});                                           // no region: clipping off
  b.Rec(0x012A, {3});                                                // INVERTREGION
  const Bitmap out = Play(b.Build(60, 40, 96));
  // Inverted: red fill to cyan, blue (frame, and the box within the clip) to yellow.
  EXPECT_EQ(out.PixelRgb(10, 5), 0x00FFFFu);
  EXPECT_EQ(out.PixelRgb(40, 5), 0x00FFFFu);
  EXPECT_EQ(out.PixelRgb(0, 5), 0xFFFF00u);
  EXPECT_EQ(out.PixelRgb(2, 5), 0x00FFFFu);
  EXPECT_EQ(out.PixelRgb(10, 15), 0xFFFF00u);
  // Outside the region: the box was clipped away and nothing is inverted.
  EXPECT_EQ(out.PixelRgb(25, 5), kWhite);
  EXPECT_EQ(out.PixelRgb(25, 15), kWhite);
  EXPECT_EQ(out.PixelRgb(10, 30), kWhite);
}

}  // namespace
}  // namespace zelk
