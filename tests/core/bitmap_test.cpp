#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include <optional>

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

std::optional<std::uint64_t> SixteenMebibytes() {
  return std::uint64_t{16} << 20;
}
std::optional<std::uint64_t> Unknown() {
  return std::nullopt;
}

class AvailableMemoryTest : public ::testing::Test {
 protected:
  ~AvailableMemoryTest() override { SetAvailableMemorySource(nullptr); }
};

TEST_F(AvailableMemoryTest, BitmapLargerThanTheAvailableMemoryIsRefusedNamingBothSizes) {
  SetAvailableMemorySource(SixteenMebibytes);
  Bitmap bitmap;
  bitmap.Reset(2, 2);
  bitmap.SetPixelRgb(0, 0, 0x123456);
  try {
    bitmap.ResetUninitialised(4096, 4096);  // 48 MiB
    FAIL() << "a 48 MiB bitmap was allocated with 16 MiB available";
  } catch (const ImageError& e) {
    EXPECT_STREQ(e.what(),
                 "the image is 4096 x 4096 pixels and needs 48 MiB of memory, more than the "
                 "16 MiB the system has available");
  }
  EXPECT_THROW(bitmap.Clone().Reset(46340, 46340), ImageError);
  EXPECT_EQ(bitmap.PixelRgb(0, 0), 0x123456u);  // the old image stays
  bitmap.Reset(2048, 2048);                     // 12 MiB fits
  EXPECT_EQ(bitmap.Width(), 2048);

  // Where the system cannot tell, only the allocation itself decides.
  SetAvailableMemorySource(Unknown);
  bitmap.Reset(4096, 4096);
  EXPECT_EQ(bitmap.Height(), 4096);
}

// Room beyond the pixels (a decoder staging its input in the bitmap) counts against
// the available memory too, and once given back the pixels are still there.
TEST_F(AvailableMemoryTest, RoomBeyondThePixelsIsCheckedAndGivenBack) {
  SetAvailableMemorySource(SixteenMebibytes);
  Bitmap bitmap;
  bitmap.Reset(2, 2);
  bitmap.SetPixelRgb(0, 0, 0x123456);
  EXPECT_THROW(bitmap.ResetUninitialisedWithRoom(2, 2, std::size_t{17} << 20), ImageError);
  EXPECT_EQ(bitmap.PixelRgb(0, 0), 0x123456u);  // the old image stays

  bitmap.ResetUninitialisedWithRoom(100, 50, std::size_t{15} << 20);
  std::uint8_t* room = bitmap.Data();
  room[(std::size_t{15} << 20) - 1] = 7;  // the whole room may be written
  bitmap.Fill(0x0A0B0C);
  bitmap.ShrinkToPixels();
  EXPECT_EQ(bitmap.Width(), 100);
  EXPECT_EQ(bitmap.PixelRgb(99, 49), 0x0A0B0Cu);
  EXPECT_EQ(bitmap.PixelRgb(0, 0), 0x0A0B0Cu);
}

TEST_F(AvailableMemoryTest, SystemReportsSomeMemoryAvailable) {
  const std::optional<std::uint64_t> available = SystemAvailableMemory();
  ASSERT_TRUE(available.has_value());
  EXPECT_GT(*available, std::uint64_t{1} << 20);
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
