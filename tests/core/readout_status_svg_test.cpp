#include <gtest/gtest.h>

#include "core/view/readout.h"
#include "core/view/status_line.h"
#include "core/view/svg_path.h"
#include "support/support.h"

namespace zelk {
namespace {

class ReadoutTest : public ::testing::Test {
 protected:
  void SetUp() override { SetNumberSeparators(",", "."); }
  void TearDown() override { SetNumberSeparators(",", "."); }
};

TEST_F(ReadoutTest, UnzoomedPointIsDividedAndNotLimited) {
  const ZoomBox none;
  EXPECT_EQ(ReadoutPoint(false, 100, 50, 0.384, none, 768, 500), (SourcePoint{260, 130}));
  // Past the fitted image the point runs on beyond the image size.
  EXPECT_EQ(ReadoutPoint(false, 767, 499, 0.384, none, 768, 500), (SourcePoint{1997, 1299}));
}

TEST_F(ReadoutTest, ZoomedPointStaysInsideTheCrop) {
  const ZoomBox box{100, 50, 292, 175};  // source 260..760 x 130..455
  EXPECT_EQ(ReadoutPoint(true, 0, 0, 0.384, box, 768, 500), (SourcePoint{260, 130}));
  EXPECT_EQ(ReadoutPoint(true, 385, 250, 0.384, box, 768, 500), (SourcePoint{510, 292}));
  EXPECT_EQ(ReadoutPoint(true, 767, 499, 0.384, box, 768, 500), (SourcePoint{759, 454}));
  // Here floor would give 28 at the last column and row; the crop ends at 27.
  const ZoomBox small{0, 0, 11, 11};
  EXPECT_EQ(ReadoutPoint(true, 767, 499, 0.384, small, 768, 500), (SourcePoint{27, 27}));
  EXPECT_EQ(ReadoutPoint(true, 766, 0, 0.384, small, 768, 500).X, 27);
  // A view without size maps onto the box's origin instead of dividing by zero.
  EXPECT_EQ(ReadoutPoint(true, 5, 5, 0.384, box, 0, 0), (SourcePoint{260, 130}));
}

TEST_F(ReadoutTest, TextsWithThousandsSeparators) {
  EXPECT_EQ(ColourReadoutText({1024, 37}, "FFFFFF [White]"),
            "HTML Colour at [X: 1,024 Y: 37]=#FFFFFF [White]");
  EXPECT_EQ(ColourReadoutFailureText({1280, -3}), "[X: 1,280 Y: -3]");
  EXPECT_EQ(ZoomBoxReadoutText({10, 12, 300, 200}, 1.0),
            "   Zoom Box on Coords (L:10 T: 12 R: 300 B: 200)");
  EXPECT_EQ(ZoomBoxReadoutText({100, 50, 292, 175}, 0.384),
            "   Zoom Box on Coords (L:260 T: 130 R: 760 B: 455)");
  EXPECT_EQ(ZoomBoxReadoutText({5, 5, 5, 100}, 1.0), "");
  EXPECT_EQ(ZoomBoxReadoutText({5, 5, 100, 5}, 1.0), "");
  SetNumberSeparators(".", ",");
  EXPECT_EQ(ZoomBoxReadoutText({0, 0, 2000, 1}, 0.5),
            "   Zoom Box on Coords (L:0 T: 0 R: 4.000 B: 2)");
}

TEST_F(ReadoutTest, StatusLinePieces) {
  EXPECT_EQ(BuildStatusLine(2, 12, "/pics/a b.jpg", 1234567, 2048, 1536, 0.375),
            "3/12 /pics/a b.jpg  1,234,567 bytes  W 2,048  H 1,536  Mag X 0.38");
  EXPECT_EQ(BuildStatusLine(0, 1, "x.png", 0, 100, 50, 6.0),
            "1/1 x.png  0 bytes  W 100  H 50  Mag X 6");
  EXPECT_EQ(BuildStatusLine(0, 1, "w.bmp", 5, 2000, 1000, 768 * 0.384 / 192),
            "1/1 w.bmp  5 bytes  W 2,000  H 1,000  Mag X 1.54");
}

TEST_F(ReadoutTest, SvgPathInSourcePixelsWithoutSeparators) {
  EXPECT_EQ(ZoomBoxSvgPath({10, 20, 110, 80}, 0.5), "M20,40 H220 V160 H20 Z");
  EXPECT_EQ(ZoomBoxSvgPath({0, 0, 621, 361}, 1.0), "M0,0 H621 V361 H0 Z");
  EXPECT_EQ(ZoomBoxSvgPath({640, 0, 700, 10}, 0.5), "M1280,0 H1400 V20 H1280 Z");
  EXPECT_EQ(ZoomBoxSvgPath({-7, -3, 10, 10}, 1.0), "M-7,-3 H10 V10 H-7 Z");
  EXPECT_EQ(ZoomBoxSvgPath({10, 20, 10, 80}, 0.5), "");
}

}  // namespace
}  // namespace zelk
