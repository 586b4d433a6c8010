#include <gtest/gtest.h>

#include "core/view/mouse_steps.h"

namespace zelk {
namespace {

TEST(BoxTrackingTest, EdgeFollowsThePointerAcrossTheOtherEdge) {
  ZoomBox box{100, 10, 100, 10};  // pressed at x = 100
  box = TrackZoomBox(box, 50, 20, false, 600, 400);
  EXPECT_EQ(box, (ZoomBox{50, 10, 100, 20}));
  box = TrackZoomBox(box, 70, 20, false, 600, 400);
  EXPECT_EQ(box, (ZoomBox{50, 10, 70, 20}));
  box = TrackZoomBox(box, 30, 20, false, 600, 400);
  EXPECT_EQ(box, (ZoomBox{30, 10, 50, 20}));
  // The same rule vertically.
  box = TrackZoomBox(box, 30, 5, false, 600, 400);
  EXPECT_EQ(box, (ZoomBox{30, 5, 30, 10}));
}

TEST(BoxTrackingTest, AspectRuleFollowsTheViewShape) {
  const ZoomBox pressed{10, 10, 10, 10};
  EXPECT_EQ(TrackZoomBox(pressed, 110, 20, true, 622, 362), (ZoomBox{10, 10, 110, 68}));
  // The pointer's height does not matter below Top, even past the image.
  EXPECT_EQ(TrackZoomBox(pressed, 110, 300, true, 622, 362), (ZoomBox{10, 10, 110, 68}));
  // Above Top it becomes Top.
  EXPECT_EQ(TrackZoomBox(pressed, 110, 4, true, 622, 362), (ZoomBox{10, 4, 110, 62}));
  // A view without width leaves the height as dragged.
  EXPECT_EQ(TrackZoomBox(pressed, 110, 20, true, 0, 362), (ZoomBox{10, 10, 110, 20}));
}

TEST(PanTest, MovesTheBoxAgainstThePointer) {
  const ZoomBox box{100, 100, 200, 150};
  PanStepResult step = PanStep(box, {50, 50}, 40, 45, 768, 384);
  EXPECT_TRUE(step.Render);
  EXPECT_EQ(step.Box, (ZoomBox{110, 105, 210, 155}));
  EXPECT_EQ(step.Anchor, (PanAnchor{40, 45}));
  // A move to the anchor itself changes nothing and does not re-render.
  step = PanStep(box, {50, 50}, 50, 50, 768, 384);
  EXPECT_FALSE(step.Render);
  EXPECT_EQ(step.Box, box);
  EXPECT_EQ(step.Anchor, (PanAnchor{50, 50}));
}

TEST(PanTest, StopsAtAllFourEdges) {
  const ZoomBox box{10, 20, 110, 80};
  // Pointer far right and down: the box moves left and up and stops at 0.
  PanStepResult step = PanStep(box, {300, 200}, 900, 900, 768, 384);
  EXPECT_EQ(step.Box, (ZoomBox{0, 0, 100, 60}));
  EXPECT_EQ(step.Anchor, (PanAnchor{310, 220}));
  // Pointer far left and up: the box stops at the displayed extent.
  step = PanStep(box, {300, 200}, -900, -900, 768, 384);
  EXPECT_EQ(step.Box, (ZoomBox{668, 324, 768, 384}));
  EXPECT_EQ(step.Anchor, (PanAnchor{300 - 658, 200 - 304}));
  // Already at the edge: re-rendered, but nothing moves.
  step = PanStep(ZoomBox{0, 0, 100, 60}, {300, 200}, 400, 250, 768, 384);
  EXPECT_TRUE(step.Render);
  EXPECT_EQ(step.Box, (ZoomBox{0, 0, 100, 60}));
  EXPECT_EQ(step.Anchor, (PanAnchor{300, 200}));
}

TEST(PanTest, BoxReachingBelowTheImageIsLiftedOnTheFirstStep) {
  // The enforced-aspect default box of a wide image reaches below the displayed height.
  const ZoomBox box{0, 0, 767, 499};
  PanStepResult step = PanStep(box, {400, 100}, 390, 100, 768, 384);
  EXPECT_EQ(step.Box, (ZoomBox{1, -115, 768, 384}));
  EXPECT_EQ(step.Anchor, (PanAnchor{399, 215}));
  // Only the left/top test runs when it fires: a box wider than the image keeps Left 0.
  step = PanStep(ZoomBox{0, 0, 900, 100}, {400, 100}, 500, 100, 768, 384);
  EXPECT_EQ(step.Box, (ZoomBox{0, 0, 900, 100}));
}

}  // namespace
}  // namespace zelk
