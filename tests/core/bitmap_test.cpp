#include "core/bitmap.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

TEST(BitmapTest, ResetMakesWhitePixelsWithRowsPaddedToFourBytes) {
  Bitmap bitmap;
  bitmap.Reset(5, 3);
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.Stride(), 16);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap.PixelRgb(x, y), 0xFFFFFFu);
  bitmap.SetPixelRgb(4, 2, 0x123456);
  EXPECT_EQ(bitmap.Row(2)[12], 0x56);  // blue first
  EXPECT_EQ(bitmap.Row(2)[14], 0x12);
  EXPECT_EQ(bitmap.PixelRgb(4, 2), 0x123456u);
}

TEST(BitmapTest, RefusesSizesOverTheLimitBeforeTouchingTheOldImage) {
  Bitmap bitmap;
  bitmap.Reset(2, 2);
  EXPECT_THROW(bitmap.Reset(100000, 100000), ImageError);
  EXPECT_THROW(bitmap.Reset(-1, 5), ImageError);
  EXPECT_THROW(bitmap.Reset(int{1} << 25, 1), ImageError);
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.PixelRgb(1, 1), 0xFFFFFFu);
}

TEST(BitmapTest, CloneIsIndependentAndFillSetsEveryPixel) {
  Bitmap a;
  a.Reset(3, 2);
  a.Fill(0x102030);
  Bitmap b = a.Clone();
  b.SetPixelRgb(0, 0, 0);
  EXPECT_EQ(a.PixelRgb(0, 0), 0x102030u);
  EXPECT_EQ(b.PixelRgb(2, 1), 0x102030u);
  EXPECT_EQ(b.PixelRgb(0, 0), 0u);
}

}  // namespace
}  // namespace zelk
