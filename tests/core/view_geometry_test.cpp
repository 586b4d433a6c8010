#include "core/view/geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace zelk {
namespace {

TEST(ViewScaleTest, FitsByTheTighterSideAndMagnifiesSmallImages) {
  EXPECT_DOUBLE_EQ(FitViewScale(768, 500, 2000, 1000, false), 0.384);
  EXPECT_DOUBLE_EQ(FitViewScale(600, 400, 100, 50, false), 6.0);
  EXPECT_DOUBLE_EQ(FitViewScale(600, 400, 300, 200, true), 1.0);
  // The width ratio replaces the height ratio only when strictly smaller.
  EXPECT_DOUBLE_EQ(FitViewScale(200, 100, 400, 200, false), 0.5);
}

TEST(ViewScaleTest, DegenerateSizesGiveAPositiveScale) {
  EXPECT_DOUBLE_EQ(FitViewScale(600, 400, 0, 0, false), 1.0);
  EXPECT_DOUBLE_EQ(FitViewScale(600, 400, 0, 50, false), 1.0);
  EXPECT_GT(FitViewScale(0, 0, 2000, 1000, false), 0.0);
  EXPECT_GT(FitViewScale(768, 0, 2000, 1000, false), 0.0);
}

TEST(ViewScaleTest, TruncationToIntStaysDefined) {
  EXPECT_EQ(TruncToInt(2.9), 2);
  EXPECT_EQ(TruncToInt(-2.9), -2);
  EXPECT_EQ(TruncToInt(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(TruncToInt(-1e300), std::numeric_limits<int>::min());
  EXPECT_EQ(TruncToInt(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(TruncToInt(std::numeric_limits<double>::infinity()), std::numeric_limits<int>::max());
}

TEST(ZoomBoxRescaleTest, KeepsCoveringTheSameSourceRegion) {
  EXPECT_EQ(RescaleZoomBox({100, 50, 300, 150}, 0.5, 1.0), (ZoomBox{200, 100, 600, 300}));
  // Rounds half up: 3 * 0.5 + 0.5 = 2.
  EXPECT_EQ(RescaleZoomBox({3, 5, 7, 9}, 1.0, 0.5), (ZoomBox{2, 3, 4, 5}));
  // Before the first render the box is left alone.
  EXPECT_EQ(RescaleZoomBox({1, 2, 3, 4}, kNoViewScale, 0.5), (ZoomBox{1, 2, 3, 4}));
  EXPECT_EQ(RescaleZoomBox({1, 2, 3, 4}, 0.0, 0.5), (ZoomBox{1, 2, 3, 4}));
}

TEST(ZoomInTest, WorkedCaseOfAFittedWideImage) {
  const double scale = FitViewScale(768, 500, 2000, 1000, false);
  const ZoomBox box{100, 50, 292, 175};
  EXPECT_TRUE(ZoomBoxUsable(box, scale));
  EXPECT_EQ(SourceRect(box, scale), (PixelRect{260, 130, 760, 455}));
  EXPECT_NEAR(ZoomMagnification(768, scale, box), 1.536, 1e-12);
  EXPECT_EQ(ZoomMagnification(768, scale, ZoomBox{5, 0, 5, 10}), 0.0);
}

TEST(ZoomInTest, UnusableBoxes) {
  EXPECT_FALSE(ZoomBoxUsable({10, 10, 12, 40}, 3.0));  // under one source pixel wide
  EXPECT_FALSE(ZoomBoxUsable({10, 10, 40, 12}, 3.0));
  EXPECT_TRUE(ZoomBoxUsable({10, 10, 14, 14}, 3.0));
  EXPECT_FALSE(ZoomBoxUsable({-1, 10, 40, 40}, 1.0));
  EXPECT_FALSE(ZoomBoxUsable({10, -1, 40, 40}, 1.0));
  EXPECT_FALSE(ZoomBoxUsable({0, 0, 0, 0}, 1.0));
  EXPECT_FALSE(ZoomBoxUsable({0, 0, 100, 100}, kNoViewScale));
}

TEST(ZoomInTest, DefaultBoxes) {
  const double scale = 0.384;
  EXPECT_EQ(DefaultZoomBox(768, 500, 2000, 1000, scale, false), (ZoomBox{0, 0, 767, 383}));
  EXPECT_EQ(DefaultZoomBox(768, 500, 2000, 1000, scale, true), (ZoomBox{0, 0, 767, 499}));
  // At actual size a large image is limited by the view.
  EXPECT_EQ(DefaultZoomBox(600, 400, 3000, 100, 1.0, false), (ZoomBox{0, 0, 599, 99}));
  // A view without width skips the aspect division; the box still spans a pixel.
  EXPECT_EQ(DefaultZoomBox(0, 400, 300, 200, 1.0, true), (ZoomBox{0, 0, 1, 199}));
}

TEST(PointOutsideImageTest, EdgesOfTheFittedImage) {
  const double scale = 0.5;  // 200 x 100 image shown 100 x 50
  EXPECT_TRUE(PointOutsideImage(true, 10, 10, scale, 200, 100));
  EXPECT_FALSE(PointOutsideImage(false, 0, 0, scale, 200, 100));
  EXPECT_TRUE(PointOutsideImage(false, -1, 0, scale, 200, 100));
  EXPECT_TRUE(PointOutsideImage(false, 0, -1, scale, 200, 100));
  EXPECT_FALSE(PointOutsideImage(false, 100, 50, scale, 200, 100));  // on the edge: inside
  EXPECT_TRUE(PointOutsideImage(false, 101, 50, scale, 200, 100));
  EXPECT_TRUE(PointOutsideImage(false, 100, 51, scale, 200, 100));
}

}  // namespace
}  // namespace zelk
