#include "core/view/view_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/view/blit.h"
#include "core/view/geometry.h"
#include "core/view/mouse_steps.h"
#include "core/view/readout.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

// Each pixel's colour is its own position, so a view pixel's colour says which source
// pixel was drawn there (never white: the images stay under 4095 pixels a side).
std::uint32_t Code(std::int64_t x, std::int64_t y) {
  return static_cast<std::uint32_t>((y << 12) | x);
}

Bitmap SelfNamed(int w, int h) {
  Bitmap b;
  b.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRgb(x, y, Code(x, y));
  return b;
}

// Renders the view as the window does and checks every view pixel: where the readout
// names a pixel of the image, that pixel's colour is drawn; elsewhere white.
void ExpectReadoutNamesWhatIsDrawn(const Bitmap& src, int view_w, int view_h, bool zoomed,
                                   const ZoomBox& box, const std::string& what) {
  const double scale = FitViewScale(view_w, view_h, src.Width(), src.Height(), false);
  ViewImage view;
  view.Reset(view_w, view_h);
  RenderMapped(src, view, CurrentViewMapping(zoomed, scale, box, view_w, view_h));
  for (int y = 0; y < view_h; ++y)
    for (int x = 0; x < view_w; ++x) {
      const SourcePoint p = ReadoutPoint(zoomed, x, y, scale, box, view_w, view_h);
      const bool inside = p.X >= 0 && p.Y >= 0 && p.X < src.Width() && p.Y < src.Height();
      ASSERT_EQ(view.PixelRgb(x, y), inside ? Code(p.X, p.Y) : 0xFFFFFFu)
          << what << " view " << view_w << "x" << view_h << " at " << x << "," << y << " names "
          << p.X << "," << p.Y;
    }
}

TEST(ViewMappingTest, EveryViewPixelShowsThePixelTheReadoutNames) {
  for (const int factor : {1, 2}) {  // device pixels per logical pixel
    const int view_w = 311 * factor, view_h = 181 * factor;
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{37, 23}, {640, 400}, {3, 700}}) {
      const Bitmap src = SelfNamed(w, h);
      const std::string image = std::to_string(w) + "x" + std::to_string(h);
      ExpectReadoutNamesWhatIsDrawn(src, view_w, view_h, false, {}, image + " fitted");
      const double scale = FitViewScale(view_w, view_h, w, h, false);
      for (const bool aspect : {false, true}) {
        // Boxes as the mouse draws them (device positions are multiples of the factor),
        // the default box, and a box panned above the image.
        std::vector<ZoomBox> boxes = {TrackZoomBox({10 * factor, 8 * factor, 0, 0}, 47 * factor,
                                                   30 * factor, aspect, view_w, view_h),
                                      TrackZoomBox({3 * factor, 5 * factor, 0, 0}, 9 * factor,
                                                   6 * factor, aspect, view_w, view_h),
                                      DefaultZoomBox(view_w, view_h, w, h, scale, aspect)};
        boxes.push_back({boxes[0].Left, boxes[0].Top - 13, boxes[0].Right, boxes[0].Bottom - 13});
        for (const ZoomBox& box : boxes)
          ExpectReadoutNamesWhatIsDrawn(
              src, view_w, view_h, true, box,
              image + (aspect ? " aspect box " : " box ") + std::to_string(box.Left) + "," +
                  std::to_string(box.Top) + "," + std::to_string(box.Right) + "," +
                  std::to_string(box.Bottom));
      }
    }
  }
}

// The run of equal pixels through (x, y), horizontally or vertically.
int RunLength(const ViewImage& view, int x, int y, bool across) {
  const std::uint32_t c = view.PixelRgb(x, y);
  int a = across ? x : y, b = a;
  const int end = across ? view.Width() : view.Height();
  auto at = [&](int i) { return across ? view.PixelRgb(i, y) : view.PixelRgb(x, i); };
  while (a > 0 && at(a - 1) == c) --a;
  while (b + 1 < end && at(b + 1) == c) ++b;
  return b - a + 1;
}

TEST(ViewMappingTest, AspectBoxesGiveSquareBlocksOfTheCaptionsMagnification) {
  // A small box at high magnification: one source pixel more or less in the box's
  // truncated source rectangle used to stretch the blocks by a fifth.
  for (const int factor : {1, 2}) {
    const int view_w = 600 * factor, view_h = 417 * factor;
    const Bitmap src = SelfNamed(64, 40);
    const double scale = FitViewScale(view_w, view_h, 64, 40, false);
    const ZoomBox box = TrackZoomBox({151 * factor, 93 * factor, 0, 0}, 174 * factor, 93 * factor,
                                     true, view_w, view_h);
    ViewImage view;
    view.Reset(view_w, view_h);
    RenderMapped(src, view, ZoomBoxViewMapping(box, scale, view_w, view_h));
    const double magnification = ZoomMagnification(view_w, scale, box);
    // The first block starts at a pixel edge and is whole (the last one, limited to the
    // crop, can be wider).
    const int x = 1, y = 1;
    for (const bool across : {true, false}) {
      const int run = RunLength(view, x, y, across);
      EXPECT_GE(run, std::floor(magnification)) << factor << (across ? " wide" : " high");
      EXPECT_LE(run, std::ceil(magnification)) << factor << (across ? " wide" : " high");
    }
  }
}

TEST(ViewMappingTest, BlocksAreSquareUpToOnePixelOffTheViewsShapeAndNoFurther) {
  // A 600 x 400 view: a box 60 wide has the view's shape at 40 high.
  const auto square = [](int height) {
    const ViewMapping mapping = ZoomBoxViewMapping({0, 0, 60, height}, 1.0, 600, 400);
    return mapping.y.Magnification() == mapping.x.Magnification();
  };
  EXPECT_TRUE(square(40));
  EXPECT_TRUE(square(41));  // exactly one pixel off: still the width's blocks
  EXPECT_TRUE(square(39));
  EXPECT_FALSE(square(42));
  EXPECT_FALSE(square(38));
}

TEST(ViewMappingTest, TheShownRectIsClippedToTheImage) {
  // 4 view pixels per image pixel, the picture's left edge 6 view pixels inside the view.
  const ViewMapping mapping{WholeMagnificationAxis(-6, 4), WholeMagnificationAxis(10, 4)};
  EXPECT_EQ(ShownImageRect(mapping, 40, 20, 8, 100), (PixelRect{0, 2, 8, 8}));
  EXPECT_EQ(ShownImageRect(mapping, 40, 20, 8, 2), PixelRect{});
}

TEST(ViewMappingTest, WholeMagnificationsAreExactAtAnyOffset) {
  // A scale within rounding of a whole number is taken as that number.
  EXPECT_EQ(FittedViewMapping(0.1 * 30).x, (AxisMapping{0, 1, 3, 0, AxisMapping::kNoLimit}));
  EXPECT_EQ(ScaledAxis(5, 700.0 / 3, 700.0 / 9).source_span, 3);
  for (const std::int64_t offset : {-7, -1, 0, 5, 12}) {
    const AxisMapping axis = WholeMagnificationAxis(offset, 4);
    EXPECT_EQ(AxisOffset(axis), offset);
    EXPECT_TRUE(axis.phase >= 0 && axis.phase < 4);
    for (int v = 0; v < 40; ++v) {
      const std::int64_t shifted = offset + v;
      EXPECT_EQ(axis.Source(v), shifted >= 0 ? shifted / 4 : -((-shifted + 3) / 4)) << v;
    }
  }
}

TEST(ViewMappingTest, ThinImagesShowAndZoomIntoAtLeastOnePixel) {
  // 1 x 700 fitted into 600 x 400: scale 4/7, under one view pixel wide.
  const Bitmap src = SelfNamed(1, 700);
  const double scale = FitViewScale(600, 400, 1, 700, false);
  EXPECT_EQ(DisplayedExtent(1, scale), 1);
  EXPECT_EQ(DisplayedExtent(700, scale), 400);
  ViewImage view;
  view.Reset(600, 400);
  RenderMapped(src, view, FittedViewMapping(scale));
  EXPECT_EQ(view.PixelRgb(0, 399), Code(0, 698));
  EXPECT_EQ(view.PixelRgb(1, 0), 0xFFFFFFu);
  for (const bool aspect : {false, true}) {
    const ZoomBox box = DefaultZoomBox(600, 400, 1, 700, scale, aspect);
    EXPECT_TRUE(ZoomBoxUsable(box, scale)) << aspect;
    EXPECT_GT(ZoomMagnification(600, scale, box), 0) << aspect;
    RenderMapped(src, view, ZoomBoxViewMapping(box, scale, 600, 400));
    EXPECT_EQ(view.PixelRgb(0, 0), Code(0, 0)) << aspect;
  }
  // The partly covered last column of a fractional fit is drawn, as the readout names it.
  EXPECT_EQ(DisplayedExtent(10, 2.5), 25);
  EXPECT_EQ(DisplayedExtent(3, 2.5), 8);
  EXPECT_EQ(DisplayedExtent(3, -1), 0);
}

}  // namespace
}  // namespace zelk
