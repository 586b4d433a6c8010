// Icons: every entry type, the choice of entry, the public sample icons, and damaged
// files.

#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/ico_reader.h"
#include "codecs/png_codec.h"
#include "metafile_test_support.h"

namespace zelk {
namespace {

using test::Bytes;
using test::Put16;
using test::Put32;

constexpr std::uint32_t kWhite = 0xFFFFFF;

// A BMP-based icon entry of w x h: the colour bits at `bits` per pixel from
// index_or_colour(x, y) (a palette index, or 0xAARRGGBB for 24 and 32 bits), then the
// AND mask from masked(x, y).
template <typename Colour, typename Masked>
Bytes BmpEntry(int w, int h, int bits, const std::vector<std::uint32_t>& palette, Colour colour,
               Masked masked) {
  Bytes b;
  Put32(b, 40), Put32(b, static_cast<std::uint32_t>(w)),
      Put32(b, static_cast<std::uint32_t>(2 * h));
  Put16(b, 1), Put16(b, static_cast<std::uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Put32(b, i == 4 ? static_cast<std::uint32_t>(palette.size()) : 0);
  for (std::uint32_t c : palette) Put32(b, c);
  const int stride = (w * bits + 31) / 32 * 4;
  for (int y = h - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(stride), 0);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = colour(x, y);
      if (bits >= 24) {
        for (int c = 0; c < bits / 8; ++c)
          row[static_cast<std::size_t>(x * bits / 8 + c)] = static_cast<std::uint8_t>(v >> (8 * c));
      } else {
        const int bit = x * bits;
        row[static_cast<std::size_t>(bit / 8)] |=
            static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  const int mask_stride = (w + 31) / 32 * 4;
  for (int y = h - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(mask_stride), 0);
    for (int x = 0; x < w; ++x)
      if (masked(x, y))
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

// An .ico of the given entries; the directory claims dir_size for each.
Bytes Icon(const std::vector<Bytes>& entries, int dir_size = 16) {
  Bytes b;
  Put16(b, 0), Put16(b, 1), Put16(b, static_cast<std::uint32_t>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const Bytes& e : entries) {
    b.push_back(static_cast<std::uint8_t>(dir_size)),
        b.push_back(static_cast<std::uint8_t>(dir_size));
    b.push_back(0), b.push_back(0);
    Put16(b, 1), Put16(b, 32);
    Put32(b, static_cast<std::uint32_t>(e.size())), Put32(b, offset);
    offset += static_cast<std::uint32_t>(e.size());
  }
  for (const Bytes& e : entries) b.insert(b.end(), e.begin(), e.end());
  return b;
}

Bitmap Read(const Bytes& ico) {
  Bitmap out;
  ReadIco(ico.data(), ico.size(), out);
  return out;
}

auto NoMask = [](int, int) { return false; };
auto MaskLeftColumn = [](int x, int) { return x == 0; };

TEST(IcoReader, EveryBmpDepthWithItsMask) {
  const std::vector<std::uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  for (int bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    const int colours = bits == 1 ? 2 : 4;
    const Bitmap out = Read(Icon({BmpEntry(
        9, 5, bits, std::vector<std::uint32_t>(palette.begin(), palette.begin() + colours),
        [&](int x, int y) { return static_cast<std::uint32_t>((x + y) % colours); },
        MaskLeftColumn)}));
    ASSERT_EQ(out.Width(), 9);
    ASSERT_EQ(out.Height(), 5);
    for (int y = 0; y < 5; ++y) {
      EXPECT_EQ(out.PixelRgb(0, y), kWhite);
      for (int x = 1; x < 9; ++x)
        ASSERT_EQ(out.PixelRgb(x, y), palette[static_cast<std::size_t>((x + y) % colours)]);
    }
  }
  const Bitmap rgb = Read(Icon({BmpEntry(
      3, 2, 24, {}, [](int x, int y) { return 0x102030u * (x + 3 * y + 1); }, MaskLeftColumn)}));
  EXPECT_EQ(rgb.PixelRgb(0, 1), kWhite);
  EXPECT_EQ(rgb.PixelRgb(2, 1), 0x102030u * 6);
  // 32 bits: alpha composes over white; opaque pixels keep their colour.
  const Bitmap argb = Read(Icon({BmpEntry(
      3, 1, 32, {},
      [](int x, int) { return x == 0   ? 0x00FF0000u
                              : x == 1 ? 0xFF00FF00u
                                       : 0x800000FFu; },
      NoMask)}));
  EXPECT_EQ(argb.PixelRgb(0, 0), kWhite);
  EXPECT_EQ(argb.PixelRgb(1, 0), 0x00FF00u);
  const std::uint32_t half = argb.PixelRgb(2, 0);
  EXPECT_EQ(half & 0xFF, 0xFFu);
  EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 127, 2);
}

TEST(IcoReader, PngEntry) {
  Bitmap source;
  source.Reset(20, 10);
  test::FillRandom(source, 9);
  const Bytes png = test::WriteToBytes([&](std::FILE* f) { WritePng(source, f, 1); });
  const Bitmap out = Read(Icon({png}, 0));
  EXPECT_EQ(test::Difference(source, out), "");
}

TEST(IcoReader, TakesTheLargestThenDeepestEntryByItsOwnHeader) {
  auto solid = [](std::uint32_t c) { return [c](int, int) { return c; }; };
  const Bytes small32 = BmpEntry(16, 16, 32, {}, solid(0xFF111111), NoMask);
  const Bytes big8 = BmpEntry(32, 32, 8, {0x222222}, solid(0), NoMask);
  const Bytes big24 = BmpEntry(32, 32, 24, {}, solid(0x333333), NoMask);
  // The directory says 16 for all; the headers say otherwise.
  EXPECT_EQ(Read(Icon({small32, big8, big24})).PixelRgb(5, 5), 0x333333u);
  EXPECT_EQ(Read(Icon({big24, small32, big8})).PixelRgb(5, 5), 0x333333u);
  EXPECT_EQ(Read(Icon({small32, big8})).PixelRgb(5, 5), 0x222222u);
  // The best entry cut short gives way to the next one.
  Bytes damaged = big24;
  damaged.resize(100);
  const Bitmap fallback = Read(Icon({small32, damaged}));
  EXPECT_EQ(fallback.Width(), 16);
  EXPECT_EQ(fallback.PixelRgb(0, 0), 0x111111u);
}

TEST(IcoReader, DamagedIconsFailCleanly) {
  const Bytes good = Icon({BmpEntry(
      8, 8, 24, {}, [](int, int) { return 0x123456u; }, NoMask)});
  for (std::size_t n = 0; n < good.size(); ++n) {
    Bitmap out;
    try {
      ReadIco(good.data(), n, out);
    } catch (const ImageError&) {
    }
  }
  Bitmap out;
  EXPECT_THROW(ReadIco(good.data(), 20, out), ImageError);  // directory cut short
  Bytes many = good;
  many[4] = 0xFF, many[5] = 0xFF;  // 65535 entries claimed
  EXPECT_THROW(ReadIco(many.data(), many.size(), out), ImageError);
  Bytes far = good;
  far[18] = 0xFF, far[19] = 0xFF, far[20] = 0xFF;  // entry offset past the end
  EXPECT_THROW(ReadIco(far.data(), far.size(), out), ImageError);
  // A header claiming 65535 x 32767 pixels over a few bytes: refused, not allocated.
  Bytes bomb = good;
  bomb[22 + 4] = 0xFF, bomb[22 + 5] = 0xFF, bomb[22 + 8] = 0xFE, bomb[22 + 9] = 0xFF;
  EXPECT_THROW(ReadIco(bomb.data(), bomb.size(), out), ImageError);
}

TEST(IcoReader, DamagedEntriesGiveWayToAFewOthersAndACancelIsNotCaught) {
  const Bytes good = BmpEntry(
      8, 8, 24, {}, [](int, int) { return 0x123456u; }, NoMask);
  // Larger entries, so tried first, each cut short in its own place.
  auto damaged = [](std::size_t keep) {
    Bytes e = BmpEntry(
        32, 32, 24, {}, [](int, int) { return 0u; }, NoMask);
    e.resize(keep);
    return e;
  };
  std::vector<Bytes> entries;
  for (std::size_t i = 0; i < kMaxIconEntriesTried - 1; ++i) entries.push_back(damaged(100 + i));
  entries.push_back(good);
  EXPECT_EQ(Read(Icon(entries)).PixelRgb(0, 0), 0x123456u);
  entries.insert(entries.begin(), damaged(99));  // one damaged entry too many
  EXPECT_THROW(Read(Icon(entries)), ImageError);

  const Bytes icon = Icon({good});
  DecodeControl control;
  control.cancel = true;
  Bitmap out;
  EXPECT_THROW(ReadIco(icon.data(), icon.size(), out, &control), DecodeCancelled);
}

TEST(IcoReader, PublicSampleIcons) {
  const auto folder = std::filesystem::path(ZELK_TESTDATA_DIR) / "ico";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "test data absent: " << folder;
  struct Expect {
    const char* name;
    int size;
  };
  for (const Expect& e : {Expect{"black_and_white.ico", 16}, Expect{"hopper.ico", 16},
                          Expect{"hopper_256x256.ico", 256}, Expect{"hopper_draw.ico", 16},
                          Expect{"hopper_mask.ico", 16}, Expect{"hopper_unexpected.ico", 16},
                          Expect{"pillow.ico", 256}, Expect{"python.ico", 48}}) {
    SCOPED_TRACE(e.name);
    const Bytes data = test::ReadAll(folder / e.name);
    Bitmap out;
    ASSERT_NO_THROW(ReadIco(data.data(), data.size(), out));
    EXPECT_EQ(out.Width(), e.size);
    EXPECT_EQ(out.Height(), e.size);
  }
  const Bytes bomb = test::ReadAll(folder / "decompression_bomb.ico");
  Bitmap out;
  EXPECT_THROW(ReadIco(bomb.data(), bomb.size(), out), ImageError);
}

}  // namespace
}  // namespace zelk
