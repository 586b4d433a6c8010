// The viewport's transitions: each keeps the picture and the mapping in step, and
// the pixel under the pointer where the user expects it.

#include "core/view/viewport.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

Viewport MakeViewport(int view_w, int view_h, int image_w, int image_h, bool actual_size = false) {
  Viewport viewport;
  viewport.Resize(view_w, view_h, true);
  viewport.ShowImage(image_w, image_h, actual_size, true);
  return viewport;
}

TEST(ViewportTest, ActualSizeZoomsWhenTheImageIsLargerThanTheViewEitherWay) {
  EXPECT_TRUE(MakeViewport(768, 500, 2000, 100, true).zoomed());  // wider only
  EXPECT_TRUE(MakeViewport(768, 500, 100, 1000, true).zoomed());  // taller only
  EXPECT_FALSE(MakeViewport(768, 500, 768, 500, true).zoomed());
  EXPECT_FALSE(MakeViewport(768, 500, 2000, 1000, false).zoomed());
  const Viewport wide = MakeViewport(768, 500, 2000, 100, true);
  EXPECT_EQ(wide.mode(), ZoomMode::kBox);
  EXPECT_EQ(wide.PixelAt(0, 0), (SourcePoint{0, 0}));
}

TEST(ViewportTest, ALeftDragPansEveryZoomedView) {
  // Box zoom: the box moves against the pointer.
  Viewport box = MakeViewport(200, 100, 400, 200);
  ASSERT_TRUE(box.Press(10, 10));
  ASSERT_TRUE(box.DragLeft(60, 60, true));
  box.ZoomIntoBox(true);
  const SourcePoint before = box.PixelAt(100, 50);
  box.Press(100, 50);
  ASSERT_TRUE(box.DragLeft(90, 50, true));
  EXPECT_GT(box.PixelAt(100, 50).X, before.X);

  // Whole magnification (wheel): the picture follows the pointer exactly.
  Viewport whole = MakeViewport(200, 100, 400, 200);
  whole.StepWholeAt(+3, 100, 50);
  ASSERT_EQ(whole.mode(), ZoomMode::kWhole);
  const SourcePoint under = whole.PixelAt(100, 50);
  whole.Press(100, 50);
  ASSERT_TRUE(whole.DragLeft(80, 40, true));
  EXPECT_EQ(whole.PixelAt(80, 40), under);
  EXPECT_EQ(whole.mode(), ZoomMode::kWhole);
}

TEST(ViewportTest, AWheelStepOnTheBoxsLastPixelEndsItsBlockAtThePointer) {
  // Fitted at 2.5, a box of 16 x 10 view pixels holds 6.4 x 4 source pixels: the last
  // whole column, 5, is stretched to the view's edge.
  Viewport viewport = MakeViewport(400, 250, 160, 100);
  viewport.Press(0, 0);
  viewport.DragLeft(16, 10, true);
  viewport.ZoomIntoBox(true);
  const int x = 399, y = 100;
  const SourcePoint last = viewport.PixelAt(x, y);
  ASSERT_EQ(last.X, 5);
  viewport.StepWholeAt(+1, x, y);
  const int k = viewport.WholeMagnification();
  ASSERT_EQ(k, 64);
  EXPECT_EQ(viewport.PixelAt(x, y), last);
  // The pointer was at the end of the last pixel's block: it still is.
  EXPECT_EQ(viewport.PixelAt(x - k + 1, y).X, last.X);
  EXPECT_EQ(viewport.PixelAt(x - k, y).X, last.X - 1);
}

TEST(ViewportTest, ResizingKeepsEachZoomModeAndItsPart) {
  Viewport viewport = MakeViewport(200, 100, 400, 200);
  viewport.StepWholeAt(+2, 50, 50);
  const SourcePoint corner = viewport.PixelAt(0, 0);
  const int k = viewport.WholeMagnification();
  viewport.Resize(300, 150, true);
  EXPECT_EQ(viewport.mode(), ZoomMode::kWhole);
  EXPECT_EQ(viewport.WholeMagnification(), k);
  EXPECT_EQ(viewport.PixelAt(0, 0), corner);

  viewport.Fit();
  viewport.Resize(100, 50, true);
  EXPECT_EQ(viewport.mode(), ZoomMode::kFitted);
  EXPECT_DOUBLE_EQ(viewport.scale(), 0.25);
  EXPECT_EQ(viewport.PixelAt(99, 49), (SourcePoint{396, 196}));
}

TEST(ViewportTest, NoImageMeansNoZoomAndNoBox) {
  Viewport viewport = MakeViewport(200, 100, 0, 0);
  viewport.ZoomIntoBox(true);
  viewport.StepWholeAt(+1, 10, 10);
  viewport.ShowActualPixelsAt(10, 10);
  EXPECT_FALSE(viewport.Press(10, 10));
  EXPECT_FALSE(viewport.zoomed());
  EXPECT_FALSE(viewport.BoxInImage());
}

}  // namespace
}  // namespace zelk
