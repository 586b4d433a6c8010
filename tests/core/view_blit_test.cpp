#include <gtest/gtest.h>

#include <cstdint>

#include "core/view/blit.h"
#include "core/view/focus_rect.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

// Every pixel of the bitmap distinct, so a wrong source pixel shows.
Bitmap Numbered(int w, int h) {
  Bitmap b;
  b.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRgb(x, y, static_cast<std::uint32_t>(y * 4096 + x + 1));
  return b;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The rectangle rule written plainly in integers, as the oracle for the fast blit: view
// pixel i of n shows low + floor(i * (high - low) / n), from low - 1 when mirrored.
std::int64_t RectSource(int low, int high, int n, int i) {
  return (high >= low ? low : std::int64_t{low} - 1) +
         FloorDiv(std::int64_t{i} * (std::int64_t{high} - low), n);
}

std::uint32_t Expected(const Bitmap& src, int left, int top, int right, int bottom, int n_x,
                       int n_y, int i, int j) {
  if (i >= n_x || j >= n_y || right == left || bottom == top) return 0xFFFFFFu;
  const std::int64_t sx = RectSource(left, right, n_x, i);
  const std::int64_t sy = RectSource(top, bottom, n_y, j);
  if (sx < 0 || sy < 0 || sx >= src.Width() || sy >= src.Height()) return 0xFFFFFFu;
  return src.PixelRgb(static_cast<int>(sx), static_cast<int>(sy));
}

void ExpectRectCopy(const Bitmap& src, int l, int t, int r, int b, int view_w, int view_h) {
  ViewImage view;
  view.Reset(view_w, view_h);
  view.Row(0)[0] = 0xFF000000u;  // stale content must be overwritten
  CopySourceRectToView(src, l, t, r, b, view);
  for (int j = 0; j < view_h; ++j)
    for (int i = 0; i < view_w; ++i)
      ASSERT_EQ(view.Row(j)[i], 0xFF000000u | Expected(src, l, t, r, b, view_w, view_h, i, j))
          << "rect " << l << "," << t << "," << r << "," << b << " view " << view_w << "x" << view_h
          << " at " << i << "," << j;
}

TEST(BlitTest, CopyRectFollowsTheRuleInEveryRegime) {
  const Bitmap src = Numbered(13, 7);  // 39 bytes a row: the last pixel ends before padding
  const Bitmap wide = Numbered(8, 3);  // 24 bytes a row: no padding at all
  for (const Bitmap* b : {&src, &wide}) {
    ExpectRectCopy(*b, 0, 0, b->Width(), b->Height(), 40, 21);                   // magnified
    ExpectRectCopy(*b, 0, 0, b->Width(), b->Height(), 5, 2);                     // reduced
    ExpectRectCopy(*b, 0, 0, b->Width(), b->Height(), b->Width(), b->Height());  // 1:1
    ExpectRectCopy(*b, 2, 1, 7, 3, 17, 9);         // inner crop, odd factor
    ExpectRectCopy(*b, -5, -3, 20, 12, 31, 19);    // reaching out on all sides
    ExpectRectCopy(*b, -20, -20, -10, -10, 9, 9);  // wholly outside: white
    ExpectRectCopy(*b, 7, 3, 2, 1, 17, 9);         // swapped sides: mirrored
    ExpectRectCopy(*b, 3, 1, 3, 5, 6, 6);          // no width: white
  }
}

TEST(BlitTest, LargeBitmapsDrawnByTwoThreadsMatchTheRule) {
  // Over 32 MiB of bitmap into views of over 256 Ki pixels: the rows are shared out
  // between two threads, and the seam between their halves must not show.
  const Bitmap big = Numbered(4000, 3000);
  ExpectRectCopy(big, 0, 0, big.Width(), big.Height(), 640, 481);  // reduced, odd split
  ExpectRectCopy(big, 100, 50, 261, 171, 700, 500);                // magnified crop
  ExpectRectCopy(big, 3900, 2950, 4100, 3050, 600, 450);           // over the far corner
}

TEST(BlitTest, WholeMagnificationGivesUniformBlocks) {
  const Bitmap src = Numbered(10, 6);
  ViewImage view;
  view.Reset(40, 24);  // 4 x 4 blocks
  CopySourceRectToView(src, 0, 0, 10, 6, view);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(view.PixelRgb(x, y), src.PixelRgb(x / 4, y / 4));
  // A crop of 3 x 2 source pixels over 9 x 6 view pixels: 3 x 3 blocks.
  view.Reset(9, 6);
  CopySourceRectToView(src, 4, 2, 7, 4, view);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(view.PixelRgb(x, y), src.PixelRgb(4 + x / 3, 2 + y / 3));
}

TEST(BlitTest, StretchDrawsAtTheTopLeftAndLeavesTheRestWhite) {
  const Bitmap src = Numbered(20, 10);
  ViewImage view;
  view.Reset(50, 40);
  StretchToView(src, view, 40, 20);  // 2 x 2 blocks, white below and right
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) {
      const std::uint32_t want = (x < 40 && y < 20) ? src.PixelRgb(x / 2, y / 2) : 0xFFFFFFu;
      ASSERT_EQ(view.PixelRgb(x, y), want) << x << "," << y;
    }
  // Larger than the view (actual size of a big image): clipped, no white.
  const Bitmap big = Numbered(300, 200);
  view.Reset(64, 48);
  StretchToView(big, view, 300, 200);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(view.PixelRgb(x, y), big.PixelRgb(x, y));
  // Reduced: 300 x 200 into 30 x 20 takes the first pixel of each 10 x 10 block.
  StretchToView(big, view, 30, 20);
  EXPECT_EQ(view.PixelRgb(0, 0), big.PixelRgb(0, 0));
  EXPECT_EQ(view.PixelRgb(29, 19), big.PixelRgb(290, 190));
  EXPECT_EQ(view.PixelRgb(30, 0), 0xFFFFFFu);
}

TEST(BlitTest, OnePixelAndEmptySources) {
  Bitmap dot;
  dot.Reset(1, 1);
  dot.SetPixelRgb(0, 0, 0x123456);
  ViewImage view;
  view.Reset(7, 5);
  StretchToView(dot, view, 7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(view.PixelRgb(x, y), 0x123456u);
  CopySourceRectToView(dot, -1, -1, 2, 2, view);
  EXPECT_EQ(view.PixelRgb(0, 0), 0xFFFFFFu);
  EXPECT_EQ(view.PixelRgb(3, 2), 0x123456u);
  EXPECT_EQ(view.PixelRgb(6, 4), 0xFFFFFFu);

  Bitmap none;
  StretchToView(none, view, 7, 5);
  CopySourceRectToView(none, 0, 0, 5, 5, view);
  StretchToView(dot, view, 0, -3);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(view.PixelRgb(x, y), 0xFFFFFFu);
  ViewImage empty_view;
  StretchToView(dot, empty_view, 7, 5);  // nothing to draw on, nothing touched
  CopySourceRectToView(dot, 0, 0, 1, 1, empty_view);
}

TEST(BlitTest, HugeSpansDoNotOverflowTheSampling) {
  // Spans of 4e9 pixels: view pixel 4 of 8 lands exactly on source pixel 0.
  const Bitmap src = Numbered(4, 4);
  ExpectRectCopy(src, -2000000000, -2000000000, 2000000000, 2000000000, 8, 8);
  ExpectRectCopy(src, -2000000000, 0, 2000000000, 4, 8, 4);
}

ViewImage Patterned(int w, int h) {
  ViewImage view;
  view.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      view.Row(y)[x] = 0xFF000000u | static_cast<std::uint32_t>(x * 977 + y);
  return view;
}

int ChangedPixels(const ViewImage& a, const ViewImage& b) {
  int n = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) n += a.Row(y)[x] != b.Row(y)[x];
  return n;
}

TEST(FocusRectTest, DottedBorderThatDrawingTwiceErases) {
  const ViewImage original = Patterned(20, 16);
  for (const ZoomBox& r :
       {ZoomBox{2, 3, 12, 9}, ZoomBox{-5, -5, 30, 30}, ZoomBox{4, 4, 5, 10}, ZoomBox{4, 4, 10, 5},
        ZoomBox{4, 4, 5, 5}, ZoomBox{12, 9, 2, 3}, ZoomBox{3, 3, 4, 3}, ZoomBox{50, 50, 60, 60}}) {
    ViewImage view = Patterned(20, 16);
    DrawFocusRect(view, r);
    DrawFocusRect(view, r);
    EXPECT_EQ(ChangedPixels(view, original), 0) << r.Left << "," << r.Top;
  }
  ViewImage view = Patterned(20, 16);
  DrawFocusRect(view, {2, 3, 12, 9});
  // Only border pixels change, inverted, every other one (alpha untouched).
  int changed = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x) {
      if (view.Row(y)[x] == original.Row(y)[x]) continue;
      ++changed;
      EXPECT_TRUE(x == 2 || x == 11 || y == 3 || y == 8) << x << "," << y;
      EXPECT_TRUE(x >= 2 && x < 12 && y >= 3 && y < 9);
      EXPECT_EQ(view.Row(y)[x], original.Row(y)[x] ^ 0x00FFFFFFu);
      EXPECT_EQ((x + y) % 2, 0);
    }
  EXPECT_EQ(changed, 14);  // 28 border pixels of a 10 x 6 rectangle, half of them
  EXPECT_EQ(view.Row(3)[2], original.Row(3)[2]);                  // corner off the dots: left as is
  EXPECT_EQ(view.Row(3)[11], original.Row(3)[11] ^ 0x00FFFFFFu);  // corners on the dots:
  EXPECT_EQ(view.Row(8)[2], original.Row(8)[2] ^ 0x00FFFFFFu);    // inverted once, not twice

  ViewImage flat = Patterned(20, 16);
  DrawFocusRect(flat, {4, 4, 10, 4});  // no height: nothing drawn
  EXPECT_EQ(ChangedPixels(flat, original), 0);
  DrawFocusRect(flat, {4, 4, 10, 5});  // one row high: each pixel of it at most once
  EXPECT_EQ(ChangedPixels(flat, original), 3);
}

}  // namespace
}  // namespace zelk
