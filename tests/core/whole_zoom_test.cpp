#include "core/view/whole_zoom.h"

#include <gtest/gtest.h>

#include "core/view/blit.h"
#include "core/view/pixel_grid.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

TEST(WholeZoomTest, LadderStepsFromTheFittedViewAndBack) {
  EXPECT_EQ(WholeZoomUp(0, 0.37), 1);
  EXPECT_EQ(WholeZoomUp(0, 4.0), 6);  // strictly above the fitted scale
  EXPECT_EQ(WholeZoomUp(0, 200.0), 0);
  EXPECT_EQ(WholeZoomUp(12, 0.5), 16);
  EXPECT_EQ(WholeZoomUp(128, 0.5), 128);
  EXPECT_EQ(WholeZoomDown(16, 0.5), 12);
  EXPECT_EQ(WholeZoomDown(1, 0.5), 0);
  EXPECT_EQ(WholeZoomDown(6, 4.0), 0);  // 4 would not enlarge beyond the fitted view
  EXPECT_EQ(WholeZoomDown(0, 0.5), 0);
  int k = 0, steps = 0;
  while ((k = WholeZoomUp(k, 0.1)) != 128) ++steps;
  EXPECT_EQ(steps, 13);
}

TEST(WholeZoomTest, ZoomKeepsThePixelAndItsPlaceUnderThePointer) {
  const ViewMapping fitted = FittedViewMapping(2.5);  // pixel 40 covers view 100..102
  for (const int k : {1, 3, 8, 128}) {
    const ViewMapping zoomed = ZoomAt(fitted, 101, 7, k);
    EXPECT_EQ(zoomed.x.Source(101), 40) << k;
    EXPECT_EQ(zoomed.y.Source(7), 2) << k;
    EXPECT_EQ(zoomed.x.Magnification(), k);
    // Exactly k view pixels a block; the pointer 0.4 of the way across pixel 40.
    int first = 101, end = 101;
    while (zoomed.x.Source(first - 1) == 40) --first;
    while (zoomed.x.Source(end) == 40) ++end;
    EXPECT_EQ(end - first, k);
    EXPECT_EQ(101 - first, static_cast<int>(0.4 * k));
  }
  // Zooming again from a whole magnification keeps the block position too.
  const ViewMapping at8 = ZoomAt(fitted, 101, 7, 8);
  const ViewMapping at16 = ZoomAt(at8, 101, 7, 16);
  EXPECT_EQ(at16.x.Source(101), 40);
  EXPECT_EQ(at16.x.Source(101 - 6), 40);
  EXPECT_EQ(at16.x.Source(101 - 7), 39);
}

TEST(WholeZoomTest, PanFollowsThePointerExactlyAndStopsAtTheEdges) {
  // 100 x 50 image at 4x in a 120 x 80 view.
  ViewMapping view{WholeMagnificationAxis(40, 4), WholeMagnificationAxis(10, 4)};
  for (const int dx : {1, 3, -2, 5}) {
    const ViewMapping moved = PanWholeZoom(view, dx, 0, 120, 80, 100, 50);
    for (int v = 10; v < 100; ++v) ASSERT_EQ(moved.x.Source(v + dx), view.x.Source(v)) << dx;
    view = moved;
  }
  // The picture (400 wide) keeps the view covered: offsets 0..280.
  EXPECT_EQ(AxisOffset(PanWholeZoom(view, 1000, 0, 120, 80, 100, 50).x), 0);
  EXPECT_EQ(AxisOffset(PanWholeZoom(view, -1000, 0, 120, 80, 100, 50).x), 280);
  // The picture (200 high) in a taller view stays inside it: offsets -100..0.
  const AxisMapping tall = WholeMagnificationAxis(-20, 4);
  EXPECT_EQ(AxisOffset(PanWholeZoom({tall, tall}, 0, 500, 120, 300, 100, 50).y), -100);
  EXPECT_EQ(AxisOffset(PanWholeZoom({tall, tall}, 0, -500, 120, 300, 100, 50).y), 0);
  // Beyond the limits after a zoom at the edge: not pulled back, not pushed further.
  const AxisMapping out = WholeMagnificationAxis(-30, 4);
  EXPECT_EQ(AxisOffset(PanWholeZoom({out, out}, 5, 0, 120, 80, 100, 50).x), -30);
  EXPECT_EQ(AxisOffset(PanWholeZoom({out, out}, -5, 0, 120, 80, 100, 50).x), -25);
}

TEST(PixelGridTest, LinesBetweenImagePixelsOnlyFromEightPixelBlocks) {
  Bitmap src;
  src.Reset(3, 2);
  src.Fill(0x808080);
  src.SetPixelRgb(1, 0, 0x7F7F7F);  // mid-greys either side of the luma threshold
  ViewImage view;
  view.Reset(40, 30);
  const ViewMapping at8{WholeMagnificationAxis(-4, 8), WholeMagnificationAxis(0, 8)};
  RenderMapped(src, view, at8);
  const ViewImage plain = view;
  DrawPixelGrid(view, at8, 3, 2);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      // Image from view x = 4 to 28, y = 0 to 16; lines at x = 12, 20 and y = 8.
      const bool line = x >= 4 && x < 28 && y < 16 && (x == 12 || x == 20 || y == 8);
      const std::uint32_t want =
          !line ? plain.PixelRgb(x, y) : (plain.PixelRgb(x, y) == 0x808080u ? 0u : 0xFFFFFFu);
      ASSERT_EQ(view.PixelRgb(x, y), want) << x << "," << y;
    }
  ViewImage small = plain;
  const ViewMapping at6{WholeMagnificationAxis(0, 6), WholeMagnificationAxis(0, 8)};
  DrawPixelGrid(small, at6, 3, 2);
  EXPECT_EQ(small.PixelRgb(6, 0), plain.PixelRgb(6, 0));
  EXPECT_EQ(small.PixelRgb(0, 8), plain.PixelRgb(0, 8));
}

}  // namespace
}  // namespace zelk
