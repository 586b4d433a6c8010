#include "core/text/colour_ranges.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/bitmap.h"
#include "scripted_desktop.h"

namespace zelk {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

ColourRanges Ranges(std::int32_t rlo, std::int32_t rhi, std::int32_t glo, std::int32_t ghi,
                    std::int32_t blo, std::int32_t bhi) {
  return ColourRanges{rlo, rhi, glo, ghi, blo, bhi};
}

TEST(ColourRangeTextTest, BoundsInEveryBaseAndSign) {
  ScopedScriptedDesktop scripted;
  const ColourRanges near_white = Ranges(0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF);
  EXPECT_EQ(ParseColourRanges(kDefaultColourRangeText), near_white);
  EXPECT_EQ(ParseColourRanges("R(240:255) G(240:255) B(240:255)"), near_white);
  EXPECT_EQ(ParseColourRanges("R(010:255) G(0:0) B(0:0)"), Ranges(8, 255, 0, 0, 0, 0));
  EXPECT_EQ(ParseColourRanges("R(0X1f:0xFF) G(-5:+7) B( 12 : 099)"),
            Ranges(31, 255, -5, 7, 12, 0));  // "099" stops at the 9: octal 0
  // The letters before each group are not examined.
  EXPECT_EQ(ParseColourRanges("x(1:2)y(3:4)z(5:6)"), Ranges(1, 2, 3, 4, 5, 6));
  EXPECT_TRUE(scripted.desktop.messages.empty());
}

TEST(ColourRangeTextTest, ShortOrOddTextsReadAsZeroAndHugeValuesClamp) {
  ScopedScriptedDesktop scripted;
  EXPECT_EQ(ParseColourRanges("R(0xf0:0xff)"), Ranges(0xF0, 0xFF, 0, 0, 0, 0));
  EXPECT_EQ(ParseColourRanges(""), Ranges(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(ParseColourRanges("R(abc:) G(:12x)"), Ranges(0, 0, 0, 12, 0, 0));
  EXPECT_EQ(ParseColourRanges("R(99999999999:-99999999999) G(0x7fffffff:-2147483648) B(0:0)"),
            Ranges(kMax, kMin, kMax, kMin, 0, 0));
  EXPECT_EQ(ParseColourRanges("R(0x1ffffffffffffffffffff:1)"), Ranges(kMax, 1, 0, 0, 0, 0));
  EXPECT_TRUE(scripted.desktop.messages.empty());
}

// Odd width, so rows carry padding that must stay untouched.
Bitmap ThreePixels() {
  Bitmap image;
  image.Reset(3, 1);
  image.SetPixelRgb(0, 0, 0xF5F5F5);
  image.SetPixelRgb(1, 0, 0xFF0000);
  image.SetPixelRgb(2, 0, 0x000000);
  return image;
}

TEST(ColourReplaceTest, EachChannelIsReplacedOnItsOwn) {
  Bitmap image = ThreePixels();
  image.Row(0)[9] = 0xAB;  // padding
  ReplaceColourRanges(image, Ranges(0xF0, 0xFF, 0xF0, 0xFF, 0xF0, 0xFF), 0x102030);
  EXPECT_EQ(image.PixelRgb(0, 0), 0x102030u);
  EXPECT_EQ(image.PixelRgb(1, 0), 0x100000u);
  EXPECT_EQ(image.PixelRgb(2, 0), 0x000000u);
  EXPECT_EQ(image.Row(0)[9], 0xAB);

  // Red only from F0 to FF, green and blue exactly 0.
  image = ThreePixels();
  ReplaceColourRanges(image, Ranges(0xF0, 0xFF, 0, 0, 0, 0), 0x102030);
  EXPECT_EQ(image.PixelRgb(0, 0), 0x10F5F5u);
  EXPECT_EQ(image.PixelRgb(1, 0), 0x102030u);
  EXPECT_EQ(image.PixelRgb(2, 0), 0x002030u);
}

TEST(ColourReplaceTest, RangesMatchingNothingOrEverything) {
  Bitmap image = ThreePixels();
  ReplaceColourRanges(image, Ranges(200, 100, 256, 1000, -9, -1), 0x102030);
  EXPECT_EQ(image.PixelRgb(0, 0), 0xF5F5F5u);
  EXPECT_EQ(image.PixelRgb(1, 0), 0xFF0000u);
  EXPECT_EQ(image.PixelRgb(2, 0), 0x000000u);
  // A reversed red range leaves red alone while the others change.
  ReplaceColourRanges(image, Ranges(200, 100, 0xF0, 0xFF, 0xF0, 0xFF), 0x102030);
  EXPECT_EQ(image.PixelRgb(0, 0), 0xF52030u);

  // Full ranges turn every pixel into the colour.
  ReplaceColourRanges(image, ParseColourRanges("R(0:255) G(0:255) B(0:255)"), 0x123456);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(image.PixelRgb(x, 0), 0x123456u);
}

// Wider than the 16-pixel blocks of the pass, with a tail and row padding.
TEST(ColourReplaceTest, MatchesAPerPixelReferenceAcrossBlockBoundaries) {
  Bitmap image;
  image.Reset(53, 3);
  std::uint32_t seed = 12345;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 53; ++x) {
      seed = seed * 1103515245u + 12345u;
      image.SetPixelRgb(x, y, (seed >> 8) & 0xFFFFFF);
    }
  Bitmap expected = image.Clone();
  const ColourRanges ranges = Ranges(10, 100, 128, 255, 0, 64);
  const std::uint32_t colour = 0x0A0B0C;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 53; ++x) {
      const std::uint32_t p = expected.PixelRgb(x, y);
      std::uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (r >= 10 && r <= 100) r = 0x0A;
      if (g >= 128) g = 0x0B;
      if (b <= 64) b = 0x0C;
      expected.SetPixelRgb(x, y, (r << 16) | (g << 8) | b);
    }
  ReplaceColourRanges(image, ranges, colour);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 53; ++x) ASSERT_EQ(image.PixelRgb(x, y), expected.PixelRgb(x, y)) << x;
}

}  // namespace
}  // namespace zelk
