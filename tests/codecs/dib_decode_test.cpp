#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "codecs/dib.h"
#include "codecs/png_codec.h"

// Test images are spelled with designated initialisers that leave the other fields
// at their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zelk {
namespace {

void Put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  v[at] = static_cast<std::uint8_t>(x);
  v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

// Builds a DIB the way other programs lay them out.
struct DibSpec {
  std::uint32_t header_size = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::uint32_t> masks;    // after the header when it has no room for them
  std::vector<std::uint8_t> pixels;

  std::vector<std::uint8_t> Build() const {
    std::vector<std::uint8_t> d(header_size, 0);
    Put32(d, 0, header_size);
    if (header_size == 12) {
      Put16(d, 4, static_cast<std::uint32_t>(width));
      Put16(d, 6, static_cast<std::uint32_t>(height));
      Put16(d, 8, 1);
      Put16(d, 10, bits);
    } else {
      Put32(d, 4, static_cast<std::uint32_t>(width));
      Put32(d, 8, static_cast<std::uint32_t>(height));
      Put16(d, 12, 1);
      Put16(d, 14, bits);
      Put32(d, 16, compression);
      Put32(d, 32, colours_used);
      for (std::size_t i = 0;
           i < masks.size() && header_size >= 52 && 40 + 4 * i + 4 <= header_size; ++i)
        Put32(d, 40 + 4 * i, masks[i]);
    }
    if (header_size < 52)
      for (std::uint32_t m : masks) {
        d.resize(d.size() + 4);
        Put32(d, d.size() - 4, m);
      }
    for (std::uint32_t c : palette) {
      d.push_back(static_cast<std::uint8_t>(c));
      d.push_back(static_cast<std::uint8_t>(c >> 8));
      d.push_back(static_cast<std::uint8_t>(c >> 16));
      if (header_size != 12) d.push_back(0);
    }
    d.insert(d.end(), pixels.begin(), pixels.end());
    return d;
  }
};

// Rows given as stored (first = bottom row unless top-down), each padded to 4 bytes.
std::vector<std::uint8_t> Rows(const std::vector<std::vector<std::uint8_t>>& rows) {
  std::vector<std::uint8_t> out;
  for (const auto& r : rows) {
    out.insert(out.end(), r.begin(), r.end());
    out.resize((out.size() + 3) & ~std::size_t{3}, 0);
  }
  return out;
}

Bitmap Decode(const std::vector<std::uint8_t>& dib, const DibDecodeOptions& options = {}) {
  Bitmap out;
  DecodeDib(dib.data(), dib.size(), out, options);
  return out;
}

// Pixels top row first, as 0xRRGGBB.
std::vector<std::uint32_t> Pixels(const Bitmap& b) {
  std::vector<std::uint32_t> v;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) v.push_back(b.PixelRgb(x, y));
  return v;
}

using Px = std::vector<std::uint32_t>;
constexpr std::uint32_t W = 0xFFFFFF, K = 0x000000, R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;

TEST(DibDecode, PaletteDepthsBottomUpWithShortPalettes) {
  DibSpec one{.width = 10, .height = 2, .bits = 1, .palette = {R, G}};
  // Bottom row stored first: 1010101010, top row 1100000000.
  one.pixels = Rows({{0xAA, 0x80}, {0xC0, 0x00}});
  EXPECT_EQ(Pixels(Decode(one.Build())),
            (Px{G, G, R, R, R, R, R, R, R, R, G, R, G, R, G, R, G, R, G, R}));

  DibSpec four{.width = 3, .height = 1, .bits = 4, .colours_used = 2, .palette = {R, B}};
  four.pixels = Rows({{0x01, 0x50}});  // index 5 is past the two-entry palette
  EXPECT_EQ(Pixels(Decode(four.Build())), (Px{R, B, K}));

  DibSpec eight{.width = 4, .height = 1, .bits = 8, .colours_used = 3, .palette = {R, G, B}};
  eight.pixels = Rows({{2, 1, 0, 255}});
  EXPECT_EQ(Pixels(Decode(eight.Build())), (Px{B, G, R, K}));

  DibSpec two{.width = 4, .height = 1, .bits = 2, .palette = {K, R, G, B}};
  two.pixels = Rows({{0x1B}});  // 00 01 10 11
  EXPECT_EQ(Pixels(Decode(two.Build())), (Px{K, R, G, B}));
}

TEST(DibDecode, SixteenBitDefaultAndBitfields) {
  DibSpec d555{.width = 4, .height = 1, .bits = 16};
  d555.pixels = Rows({{0xFF, 0x7F, 0x1F, 0x00, 0x10, 0x00, 0x00, 0x7C}});
  // 5-bit values widen to the full 0..255 range: 16 -> 132.
  EXPECT_EQ(Pixels(Decode(d555.Build())), (Px{W, B, 0x000084, R}));

  DibSpec d565{
      .width = 3, .height = 1, .bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
  d565.pixels = Rows({{0xE0, 0x07, 0x20, 0x00, 0x00, 0xF8}});
  EXPECT_EQ(Pixels(Decode(d565.Build())), (Px{G, 0x000400, R}));
}

TEST(DibDecode, TwentyFourAndThirtyTwoBitsBothOrientations) {
  DibSpec up{.width = 3, .height = 2, .bits = 24};
  up.pixels = Rows({{0, 0, 255, 0, 255, 0, 255, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9}});
  EXPECT_EQ(Pixels(Decode(up.Build())), (Px{0x030201, 0x060504, 0x090807, R, G, B}));

  DibSpec down = up;
  down.height = -2;
  EXPECT_EQ(Pixels(Decode(down.Build())), (Px{R, G, B, 0x030201, 0x060504, 0x090807}));

  // Plain 32-bit pixels ignore the fourth byte, even when it is not zero.
  DibSpec x32{.width = 2, .height = 1, .bits = 32};
  x32.pixels = Rows({{0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x7F}});
  EXPECT_EQ(Pixels(Decode(x32.Build())), (Px{0x302010, 0x605040}));

  // Bit fields in another order, with 10-bit channels.
  DibSpec ten{.width = 1,
              .height = 1,
              .bits = 32,
              .compression = 3,
              .masks = {0x000003FF, 0x000FFC00, 0x3FF00000}};
  ten.pixels = Rows({{0xFF, 0x03, 0x00, 0x00}});  // red full, the rest zero
  EXPECT_EQ(Pixels(Decode(ten.Build())), (Px{R}));

  // Masks spanning all 32 bits, or with holes, are outside the rules but must decode;
  // one with holes reads as its whole span (here the top bit alone: half).
  ten.masks = {0xFFFFFFFF, 0x80000001, 0};
  ten.pixels = Rows({{0xFF, 0xFF, 0xFF, 0xFF}});
  EXPECT_EQ(Pixels(Decode(ten.Build())), (Px{0xFF8000}));
}

TEST(DibDecode, AlphaIsNotAppliedOutsideIcons) {
  // Whatever the alpha (255, 0, 128) and whichever header names an alpha mask, the
  // stored colours are shown: red, red, black.
  DibSpec v5{.header_size = 124,
             .width = 3,
             .height = 1,
             .bits = 32,
             .compression = 3,
             .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
  v5.pixels = Rows({{0, 0, 255, 255, 0, 0, 255, 0, 0, 0, 0, 128}});
  DibSpec v4 = v5;
  v4.header_size = 108;
  DibSpec alpha_bitfields = v5;  // BI_ALPHABITFIELDS: four masks after a 40-byte header
  alpha_bitfields.header_size = 40;
  alpha_bitfields.compression = 6;
  DibSpec v4_no_alpha = v4;
  v4_no_alpha.masks = {0xFF0000, 0xFF00, 0xFF, 0};
  for (const DibSpec* spec : {&v5, &v4, &alpha_bitfields, &v4_no_alpha})
    EXPECT_EQ(Pixels(Decode(spec->Build())), (Px{R, R, K})) << spec->header_size;

  // 16-bit 4444 with alpha: the colour bits only.
  DibSpec argb16{.header_size = 56,
                 .width = 1,
                 .height = 1,
                 .bits = 16,
                 .compression = 3,
                 .masks = {0x0F00, 0x00F0, 0x000F, 0xF000}};
  argb16.pixels = Rows({{0x00, 0x0F}});  // red full, alpha 0
  EXPECT_EQ(Pixels(Decode(argb16.Build())), (Px{R}));
}

TEST(DibDecode, Os2CoreHeaderWithThreeBytePalette) {
  DibSpec core{.header_size = 12, .width = 2, .height = 2, .bits = 8};
  core.palette.assign(256, 0);
  core.palette[1] = R;
  core.palette[7] = B;
  core.pixels = Rows({{1, 7}, {7, 1}});
  EXPECT_EQ(Pixels(Decode(core.Build())), (Px{B, R, R, B}));

  // With the bits' position given, a palette cut short by it keeps what is there.
  DibSpec sparse{.header_size = 12, .width = 2, .height = 1, .bits = 8, .palette = {R, G}};
  sparse.pixels = Rows({{1, 0}});
  DibDecodeOptions opt;
  opt.bits_offset = 12 + 6;
  EXPECT_EQ(Pixels(Decode(sparse.Build(), opt)), (Px{G, R}));
}

TEST(DibDecode, Rle8RunsLiteralsDeltasAndEarlyEnd) {
  DibSpec rle{.width = 6,
              .height = 4,
              .bits = 8,
              .compression = 1,
              .colours_used = 4,
              .palette = {K, R, G, B}};
  rle.pixels = {
      3, 1,              // bottom row: three red
      0, 3, 2, 3, 2, 0,  // literal green blue green, padded
      0, 0,              // end of line
      0, 2, 2, 1,        // delta: right 2, up 1 -> row 2, x 2
      9, 3,              // nine blue, cut at the right edge
      0, 0,              // row 3 (top)
      0, 1,              // end of bitmap: the top row stays white
      5, 1,              // never reached
  };
  const Bitmap b = Decode(rle.Build());
  EXPECT_EQ(Pixels(b), (Px{W, W, W, W, W, W,  //
                           W, W, B, B, B, B,  //
                           W, W, W, W, W, W,  //
                           R, R, R, G, B, G}));

  // Data that runs off the bitmap (past the top, past the right) writes nothing outside.
  DibSpec wild{
      .width = 2, .height = 1, .bits = 8, .compression = 1, .colours_used = 2, .palette = {K, R}};
  wild.pixels = {0, 2, 200, 0, 255, 1, 0, 0, 255, 1, 0, 0, 0, 5, 1, 1, 1, 1, 1};
  EXPECT_EQ(Pixels(Decode(wild.Build())), (Px{W, W}));
  wild.pixels = {0, 5, 1, 1};  // a literal run cut by the end of the data
  EXPECT_EQ(Pixels(Decode(wild.Build())), (Px{R, R}));
}

TEST(DibDecode, Rle4AlternatesNibbles) {
  DibSpec rle{.width = 7,
              .height = 1,
              .bits = 4,
              .compression = 2,
              .colours_used = 4,
              .palette = {K, R, G, B}};
  rle.pixels = {3, 0x12, 0, 3, 0x31, 0x20, 0, 1};
  EXPECT_EQ(Pixels(Decode(rle.Build())), (Px{R, G, R, B, R, G, W}));
}

TEST(DibDecode, IconMaskAndAlpha) {
  DibSpec icon{.width = 2, .height = 4, .bits = 8, .colours_used = 2, .palette = {R, G}};
  // Colour rows (bottom first), then the AND mask rows: the top-right pixel is masked.
  icon.pixels = Rows({{0, 1}, {1, 0}, {0x00}, {0x40}});
  DibDecodeOptions opt;
  opt.icon_with_mask = true;
  EXPECT_EQ(Pixels(Decode(icon.Build(), opt)), (Px{G, W, R, G}));

  DibSpec icon32{.width = 2, .height = 2, .bits = 32};
  icon32.pixels = Rows({{0, 0, 255, 255, 0, 0, 255, 128}, {0x80}});
  EXPECT_EQ(Pixels(Decode(icon32.Build(), opt)), (Px{W, 0xFF7F7F}));
  // Alpha bytes all zero: an old icon that relies on its mask alone.
  icon32.pixels = Rows({{0, 0, 255, 0, 0, 255, 0, 0}, {0x40}});
  EXPECT_EQ(Pixels(Decode(icon32.Build(), opt)), (Px{R, W}));
}

TEST(DibDecode, TruncatedPixelsKeepWhatIsThere) {
  DibSpec d{.width = 2, .height = 3, .bits = 24};
  d.pixels = Rows({{0, 0, 255, 0, 0, 255}, {255, 0, 0, 0, 255, 0}});
  auto bytes = d.Build();
  bytes.resize(bytes.size() - 4);  // the second row keeps one whole pixel; the third is gone
  EXPECT_EQ(Pixels(Decode(bytes)), (Px{W, W, B, W, R, R}));

  // A big image cut to a few percent of its data still shows its first rows.
  DibSpec big{.width = 4200, .height = 4000, .bits = 24};
  big.pixels.assign(1 << 20, 0);
  const Bitmap b = Decode(big.Build());
  EXPECT_EQ(b.PixelRgb(4199, 3999), K);
  EXPECT_EQ(b.PixelRgb(0, 0), W);
}

TEST(DibDecode, EmbeddedPngStandsInForTheBits) {
  Bitmap image;
  image.Reset(3, 2);
  image.SetPixelRgb(2, 1, 0x123456);
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  WritePng(image, f, 1);
  DibSpec d{.width = 3, .height = 2, .bits = 0, .compression = 5};
  d.pixels.resize(static_cast<std::size_t>(std::ftell(f)));
  std::rewind(f);
  ASSERT_EQ(std::fread(d.pixels.data(), 1, d.pixels.size(), f), d.pixels.size());
  std::fclose(f);
  EXPECT_EQ(Pixels(Decode(d.Build())), Pixels(image));
}

TEST(DibDecode, DamagedHeadersFailCleanly) {
  auto fails = [](const std::vector<std::uint8_t>& dib, const DibDecodeOptions& opt = {}) {
    Bitmap out;
    EXPECT_THROW(DecodeDib(dib.data(), dib.size(), out, opt), ImageError);
  };
  DibSpec ok{.width = 1, .height = 1, .bits = 24, .pixels = {1, 2, 3, 0}};
  auto header_only = ok.Build();
  header_only.resize(30);
  fails(header_only);
  fails({40, 0});
  DibSpec odd = ok;
  odd.header_size = 44;
  fails(odd.Build());
  // Sizes that must be refused before anything is allocated.
  DibSpec huge = ok;
  huge.width = 0x7FFFFFFF;
  huge.height = 0x7FFFFFFF;
  fails(huge.Build());
  huge.height = static_cast<std::int32_t>(0x80000000u);
  fails(huge.Build());
  // A few bytes claiming a gigapixel: a damaged header, not a truncated file.
  DibSpec claims{
      .width = 40000, .height = 30000, .bits = 24, .pixels = std::vector<std::uint8_t>(4096)};
  fails(claims.Build());
  claims.compression = 0;
  claims.bits = 8;
  claims.colours_used = 1;
  claims.palette = {R};
  claims.compression = 1;
  fails(claims.Build());
  DibSpec zero = ok;
  zero.width = 0;
  fails(zero.Build());
  zero.width = -5;
  fails(zero.Build());
  DibSpec bits3 = ok;
  bits3.bits = 3;
  fails(bits3.Build());
  DibSpec rle_down{.width = 1, .height = -1, .bits = 8, .compression = 1, .palette = {R}};
  rle_down.pixels = {1, 0, 0, 1};
  fails(rle_down.Build());
  DibSpec no_masks{.width = 1, .height = 1, .bits = 16, .compression = 3};
  fails(no_masks.Build());
  DibSpec rle_wrong_depth{.width = 1, .height = 1, .bits = 4, .compression = 1};
  fails(rle_wrong_depth.Build());
  DibSpec jpeg = ok;
  jpeg.compression = 4;
  fails(jpeg.Build());
  // Colour tables and bit offsets that reach past the data.
  DibSpec many{.width = 1, .height = 1, .bits = 8, .colours_used = 0xFFFFFFFF, .pixels = {0}};
  fails(many.Build());
  DibDecodeOptions far;
  far.bits_offset = 1000;
  fails(ok.Build(), far);
  DibDecodeOptions inside;
  inside.bits_offset = 20;
  fails(ok.Build(), inside);
  Bitmap out;
  EXPECT_THROW(DecodeDib(nullptr, 0, out), ImageError);
}

TEST(DibWrite, HeaderAndRowsDecodeToTheSameImage) {
  Bitmap image;
  image.ResetUninitialised(5, 3);  // padding bytes stay uninitialised
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      image.SetPixelRgb(x, y, static_cast<std::uint32_t>(x * 0x102030 + y));

  const auto header = Dib24Header(image);
  ASSERT_EQ(header.size(), 40u);
  EXPECT_EQ(Dib24PixelBytes(image), 16u * 3);

  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  WriteDib24Pixels(image, f);
  std::vector<std::uint8_t> dib = header;
  dib.resize(40 + Dib24PixelBytes(image));
  std::rewind(f);
  ASSERT_EQ(std::fread(dib.data() + 40, 1, dib.size() - 40, f), dib.size() - 40);
  std::fclose(f);
  // Row padding is written as zeros, not as whatever the bitmap held.
  for (int row = 0; row < 3; ++row) EXPECT_EQ(dib[40 + row * 16 + 15], 0);

  EXPECT_EQ(Pixels(Decode(dib)), Pixels(image));
}

}  // namespace
}  // namespace zelk
