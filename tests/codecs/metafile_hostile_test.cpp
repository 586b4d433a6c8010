// Damaged and hostile metafiles: cut short, with impossible counts, sizes and
// offsets. They either load what they can or fail with ImageError; never a crash or
// a huge allocation (these tests run under the address sanitizer too).

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "codecs/metafile_dib.h"
#include "codecs/metafile_reader.h"
#include "codecs/metafile_writer.h"
#include "metafile_test_support.h"

namespace zelk {
namespace {

using test::Bytes;

// Loads data with reader; true when it loaded, false when refused with ImageError.
template <typename Reader>
bool Loads(Reader reader, const Bytes& data) {
  Bitmap out;
  try {
    reader(data.data(), data.size(), out);
    return true;
  } catch (const ImageError&) {
    return false;
  }
}

Bytes SampleWmf() {
  test::WmfBuilder b;
  b.Rec(0x020B, {0, 0}).Rec(0x020C, {50, 50});
  b.Rec(0x02FC, {0, 0x00FF, 0, 0}).Rec(0x012D, {0});
  b.Rec(0x0324, {3, 0, 0, 50, 0, 0, 50});
  b.Rec(0x0538, {2, 3, 3, 0, 0, 10, 0, 0, 10, 20, 20, 30, 20, 20, 30});
  b.Rec(0x02FB, {-12, 0, 0, 0, 400, 0, 0, 0});
  b.Rec(0x012D, {1});
  b.Raw(0x0A32, {5, 0, 5, 0, 2, 0, 0, 0, 'h', 'i', 6, 0, 6, 0});
  const Bytes dib = test::Dib24(2, 1, {0x123456, 0x654321});
  Bytes p;
  for (int w : {0x0020, 0x00CC, 0, 1, 2, 0, 0, 1, 2, 3, 3})
    test::Put16(p, static_cast<std::uint32_t>(w));
  p.insert(p.end(), dib.begin(), dib.end());
  b.Raw(0x0F43, p);
  return b.Build(50, 50, 96);
}

Bytes SampleEmf() {
  Bitmap image;
  image.Reset(5, 3);
  test::FillRandom(image, 3);
  Bytes emf = test::WriteToBytes([&](std::FILE* f) { WriteEmf(image, f); });
  return emf;
}

TEST(MetafileHostile, EveryTruncationLoadsOrFailsCleanly) {
  test::EnsureGuiApplication();
  const Bytes wmf = SampleWmf(), emf = SampleEmf();
  for (std::size_t n = 0; n < wmf.size(); ++n)
    Loads(ReadWmf, Bytes(wmf.begin(), wmf.begin() + static_cast<std::ptrdiff_t>(n)));
  for (std::size_t n = 0; n < emf.size(); ++n)
    Loads(ReadEmf, Bytes(emf.begin(), emf.begin() + static_cast<std::ptrdiff_t>(n)));
  // Cut inside the records, the header still gives the picture: it loads.
  EXPECT_TRUE(Loads(ReadWmf, Bytes(wmf.begin(), wmf.end() - 20)));
  EXPECT_TRUE(Loads(ReadEmf, Bytes(emf.begin(), emf.end() - 30)));
  // Cut inside the header: refused.
  EXPECT_FALSE(Loads(ReadWmf, Bytes(wmf.begin(), wmf.begin() + 30)));
  EXPECT_FALSE(Loads(ReadEmf, Bytes(emf.begin(), emf.begin() + 60)));
}

TEST(MetafileHostile, RandomDamageNeverCrashes) {
  test::EnsureGuiApplication();
  std::mt19937 random(1234);
  const Bytes samples[2] = {SampleWmf(), SampleEmf()};
  for (int round = 0; round < 600; ++round) {
    const bool emf = round % 2 == 1;
    Bytes data = samples[emf ? 1 : 0];
    const int flips = 1 + static_cast<int>(random() % 8);
    // Keep the header's picture size so damage lands in the records.
    const std::size_t first = emf ? 108 : 40;
    for (int i = 0; i < flips; ++i)
      data[first + random() % (data.size() - first)] = static_cast<std::uint8_t>(random());
    if (emf)
      Loads(ReadEmf, data);
    else
      Loads(ReadWmf, data);
  }
}

TEST(MetafileHostile, ImpossibleSizesAndCountsAreRefusedOrSkipped) {
  test::EnsureGuiApplication();
  // A record of size zero ends playback; what came before stays drawn.
  {
    test::WmfBuilder b;
    b.Rec(0x020B, {0, 0}).Rec(0x020C, {10, 10});
    b.Rec(0x02FC, {0, 0x00FF, 0, 0}).Rec(0x012D, {0}).Rec(0x041B, {5, 5, 0, 0});
    Bytes wmf = b.Build(10, 10, 96);
    const Bytes tail = {0, 0, 0, 0, 0x1B, 0x04, 10, 0, 10, 0, 0, 0, 0, 0};
    wmf.insert(wmf.end() - 6, tail.begin(), tail.end());
    Bitmap out;
    ReadWmf(wmf.data(), wmf.size(), out);
    EXPECT_EQ(out.PixelRgb(2, 2), 0xFF0000u);
    EXPECT_EQ(out.PixelRgb(8, 8), 0xFFFFFFu);
  }
  // A polygon claiming 65535 points in a short record is skipped.
  {
    test::WmfBuilder b;
    b.Rec(0x020B, {0, 0}).Rec(0x020C, {10, 10}).Rec(0x0324, {0xFFFF, 1, 1, 2, 2});
    b.Rec(0x0538, {0xFFFF, 1, 1}).Rec(0x0A32, {0, 0, 0xFFFF, 0});
    const Bytes wmf = b.Build(10, 10, 96);
    EXPECT_TRUE(Loads(ReadWmf, wmf));
  }
  // A DIB header claiming 60000 x 60000 pixels over a few bytes is not decoded.
  {
    test::EmfBuilder b;
    Bytes p;
    for (std::int64_t v :
         {0, 0, 0, 0, 0, 0, 0, 0, 60000, 60000, 80, 40, 120, 8, 0, 0x00CC0020, 10, 10})
      test::Put32(p, static_cast<std::uint32_t>(v));
    Bytes dib = test::Dib24(1, 1, {0});
    dib[4] = 0x60, dib[5] = 0xEA, dib[8] = 0x60, dib[9] = 0xEA;  // 60000 x 60000
    p.insert(p.end(), dib.begin(), dib.end());
    b.Raw(81, p);
    EXPECT_TRUE(Loads(ReadEmf, b.Build(10, 10)));
  }
  // Pictures larger than the working bitmap may be are refused from the header.
  {
    Bytes emf = test::EmfBuilder().Build(10, 10);
    const std::uint32_t huge = 0x7FFFFFFF;
    for (int i = 0; i < 4; ++i) emf[32 + i] = static_cast<std::uint8_t>(huge >> (8 * i));
    EXPECT_FALSE(Loads(ReadEmf, emf));
    const Bytes wmf = test::WmfBuilder().Build(32767, 32767, 1);
    EXPECT_FALSE(Loads(ReadWmf, wmf));
  }
  // Object indices out of every range are ignored.
  {
    test::EmfBuilder b;
    b.Rec(39, {0xFFFFFFF, 0, 0xFF, 0}).Rec(37, {0xFFFFFFF}).Rec(40, {0x7FFFFFFF});
    b.Rec(37, {0x80000063}).Rec(34, {-100000}).Rec(34, {100000});
    EXPECT_TRUE(Loads(ReadEmf, b.Build(10, 10)));
  }
  // Extreme mappings: shapes and text thrown far outside any picture are not drawn.
  {
    test::EmfBuilder b;
    const std::uint32_t huge = 0x7149F2CA;  // 1e30 as a float
    b.Rec(35, {huge, 0, 0, huge, 0, 0});
    b.Rec(42, {0, 0, 10, 10}).Rec(43, {-5, -5, 5, 5});
    Bytes text;
    for (std::int64_t v : {0, 0, 0, 0, 1, 0, 0, 5, 5, 1, 76, 0, 0, 0, 0, 0, 0})
      test::Put32(text, static_cast<std::uint32_t>(v));
    test::Put16(text, 'X'), test::Put16(text, 0);
    b.Raw(84, text);
    EXPECT_TRUE(Loads(ReadEmf, b.Build(10, 10)));
    test::WmfBuilder w;
    w.Rec(0x020B, {0, 0}).Rec(0x020C, {1, 1}).Rec(0x0418, {30000, 30000, -30000, -30000});
    w.Rec(0x0325, {2, -32768, -32768, 32767, 32767});
    EXPECT_TRUE(Loads(ReadWmf, w.Build(10, 10, 96)));
  }
  // Not metafiles at all.
  EXPECT_FALSE(Loads(ReadWmf, Bytes(100, 0x41)));
  EXPECT_FALSE(Loads(ReadEmf, Bytes(100, 0x41)));
  EXPECT_FALSE(Loads(ReadWmf, Bytes()));
  EXPECT_FALSE(Loads(ReadEmf, Bytes()));
}

// The reason a load was refused, or empty when it loaded.
template <typename Reader>
std::string Refusal(Reader reader, const Bytes& data) {
  Bitmap out;
  try {
    reader(data.data(), data.size(), out);
    return {};
  } catch (const ImageError& e) {
    return e.what();
  }
}

void ExpectRefused(const std::string& reason, const char* expected) {
  EXPECT_NE(reason.find(expected), std::string::npos) << "reason: \"" << reason << '"';
}

std::uint32_t FloatBits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// Files of a few bytes that ask for far more work or memory than a picture of their
// size can need: each is refused quickly with a reason that says so (they took from
// 8 to 60 seconds, or 6 GB, when drawn as asked).
TEST(MetafileHostile, CostlyOrHugePicturesAreRefusedWithAReason) {
  test::EnsureGuiApplication();
  constexpr int kSide = 4096;
  // A placeable WMF inverting its whole 4096 x 4096 picture with the brush 100 times.
  {
    test::WmfBuilder b;
    b.Rec(0x020B, {0, 0}).Rec(0x020C, {kSide, kSide});
    b.Rec(0x02FC, {0, 0x00FF, 0, 0}).Rec(0x012D, {0});
    for (int i = 0; i < 100; ++i) b.Rec(0x061D, {0x0049, 0x005A, kSide, kSide, 0, 0});
    ExpectRefused(Refusal(ReadWmf, b.Build(kSide, kSide, 96)), "too costly");
  }
  // The EMF form: BITBLT without a source bitmap, PATINVERT.
  {
    test::EmfBuilder b;
    b.Rec(39, {1, 0, 0x0000FF, 0}).Rec(37, {1});
    for (int i = 0; i < 100; ++i)
      b.Rec(76, {0, 0, kSide - 1,    kSide - 1, 0, 0, kSide, kSide, 0x005A0049, 0, 0, FloatBits(1),
                 0, 0, FloatBits(1), 0,         0, 0, 0,     0,     0,          0, 0});
    ExpectRefused(Refusal(ReadEmf, b.Build(kSide, kSide)), "too costly");
  }
  // 1000 characters of a 4096-pixel font, three units apart by the spacing array.
  {
    test::EmfBuilder b;
    Bytes font;
    test::Put32(font, 1);
    for (int v : {-kSide, 0, 0, 0, 400}) test::Put32(font, static_cast<std::uint32_t>(v));
    font.resize(font.size() + 8 + 64, 0);
    b.Raw(82, font).Rec(37, {1});
    constexpr std::uint32_t kCount = 1000, kTextAt = 76, kDxAt = kTextAt + 2 * kCount;
    Bytes text;
    for (std::int64_t v : {0, 0, kSide - 1, kSide - 1, 1, 0, 0, 0, kSide / 2})
      test::Put32(text, static_cast<std::uint32_t>(v));
    for (std::uint32_t v : {kCount, kTextAt, 0u, 0u, 0u, 0u, 0u, kDxAt}) test::Put32(text, v);
    for (std::uint32_t i = 0; i < kCount; ++i) test::Put16(text, 'W');
    for (std::uint32_t i = 0; i < kCount; ++i) test::Put32(text, 3);
    b.Raw(84, text);
    ExpectRefused(Refusal(ReadEmf, b.Build(kSide, kSide)), "too costly");
  }
  // A region of 16384 one-pixel rectangles listed bottom to top: joining them out of
  // band order takes time in the square of their number.
  {
    test::EmfBuilder b;
    b.Rec(39, {1, 0, 0x0000FF, 0});
    Bytes p(16, 0);
    constexpr std::uint32_t kRects = 16384;
    for (std::uint32_t v : {32 + 16 * kRects, 1u, 32u, 1u, kRects, 16 * kRects, 0u, 0u, 0u, 0u})
      test::Put32(p, v);
    for (std::uint32_t i = kRects; i-- > 0;)
      for (std::uint32_t v : {i % 128, i / 128, i % 128 + 1, i / 128 + 1}) test::Put32(p, v);
    b.Raw(71, p);  // FILLRGN
    ExpectRefused(Refusal(ReadEmf, b.Build(128, 128)), "too costly");
  }
  // 46 bytes of placeable WMF and 128 bytes of EMF claiming a 46340-pixel square.
  {
    Bytes wmf = test::WmfBuilder().Build(23170, 23170, 96);
    wmf[6] = wmf[8] = static_cast<std::uint8_t>(-23170 & 0xFF);
    wmf[7] = wmf[9] = static_cast<std::uint8_t>((-23170 >> 8) & 0xFF);
    ASSERT_EQ(wmf.size(), 46u);
    ExpectRefused(Refusal(ReadWmf, wmf), "megapixels");
    const Bytes emf = test::EmfBuilder().Build(46340, 46340);
    ASSERT_EQ(emf.size(), 128u);
    ExpectRefused(Refusal(ReadEmf, emf), "megapixels");
  }
}

// A DIB may hold a PNG whose own header, not the DIB's, gives the size decoded: that
// size is held to the picture the bitmap is drawn into before anything is decoded.
TEST(MetafileHostile, EmbeddedPngIsBoundedByItsOwnHeader) {
  Bytes dib;
  for (std::uint32_t v : {40u, 1u, 1u}) test::Put32(dib, v);
  test::Put16(dib, 1), test::Put16(dib, 24);
  test::Put32(dib, 5);  // BI_PNG
  for (int i = 0; i < 5; ++i) test::Put32(dib, 0);
  // A PNG signature and IHDR for 100000 x 100000.
  for (int v : std::initializer_list<int>{0x89, 'P', 'N',  'G',  13,  10,  26, 10, 0,    0,
                                          0,    13,  'I',  'H',  'D', 'R', 0,  1,  0x86, 0xA0,
                                          0,    1,   0x86, 0xA0, 8,   2,   0,  0,  0})
    dib.push_back(static_cast<std::uint8_t>(v));
  EXPECT_THROW(CheckDibData(ByteSpan(dib.data(), dib.size()), 40, false, 64 << 20), ImageError);
  EXPECT_NO_THROW(CheckDibData(ByteSpan(dib.data(), dib.size()), 40, false, INT64_MAX));
}

}  // namespace
}  // namespace zelk
