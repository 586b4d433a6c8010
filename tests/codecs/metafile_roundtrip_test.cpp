// Metafiles written from the working bitmap load back with the same pixels, and
// another program (libwmf's wmf2gd) draws the written WMF the same way.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "codecs/metafile_reader.h"
#include "codecs/metafile_writer.h"
#include "codecs/png_codec.h"
#include "metafile_test_support.h"
#include "needed_tool.h"

// Qt's font database keeps fontconfig's caches for the life of the process; the leak
// checker is told they are not ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace zelk {
namespace {

using test::Bytes;

Bitmap RandomImage(int w, int h, unsigned seed) {
  Bitmap image;
  image.Reset(w, h);
  test::FillRandom(image, seed);
  return image;
}

TEST(MetafileRoundTrip, WmfAndEmfKeepEveryPixel) {
  test::EnsureGuiApplication();
  const int sizes[][2] = {{1, 1}, {3, 2}, {300, 200}, {301, 7}, {5, 333}, {2, 1}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    const Bitmap image =
        RandomImage(size[0], size[1], static_cast<unsigned>(size[0] * 7 + size[1]));
    const Bytes wmf = test::WriteToBytes([&](std::FILE* f) { WriteWmf(image, f); });
    const Bytes emf = test::WriteToBytes([&](std::FILE* f) { WriteEmf(image, f); });
    Bitmap from_wmf, from_emf;
    ReadWmf(wmf.data(), wmf.size(), from_wmf);
    ReadEmf(emf.data(), emf.size(), from_emf);
    EXPECT_EQ(test::Difference(image, from_wmf), "");
    EXPECT_EQ(test::Difference(image, from_emf), "");
  }
}

TEST(MetafileRoundTrip, WideImageUsesScaledUnitsInWmf) {
  // Sides over 32767 pixels do not fit the 16-bit coordinates of a WMF.
  test::EnsureGuiApplication();
  const Bitmap image = RandomImage(40000, 2, 5);
  const Bytes wmf = test::WriteToBytes([&](std::FILE* f) { WriteWmf(image, f); });
  // The placeable box stays within 16 bits...
  const int right = wmf[10] | (wmf[11] << 8), inch = wmf[14] | (wmf[15] << 8);
  EXPECT_LE(right, 32767);
  EXPECT_LT(inch, 96);
  // ...and the picture still comes back whole, pixel for pixel.
  Bitmap back;
  ReadWmf(wmf.data(), wmf.size(), back);
  EXPECT_EQ(test::Difference(image, back), "");
}

TEST(MetafileRoundTrip, EmptyImageIsRefused) {
  Bitmap empty;
  std::FILE* f = std::tmpfile();
  EXPECT_THROW(WriteWmf(empty, f), ImageError);
  EXPECT_THROW(WriteEmf(empty, f), ImageError);
  std::fclose(f);
}

bool HaveWmf2gd() {
  return std::system("command -v wmf2gd > /dev/null 2>&1") == 0;
}

TEST(MetafileRoundTrip, Wmf2gdDrawsTheWrittenWmf) {
  if (!HaveWmf2gd()) ZELK_SKIP_WITHOUT_TOOL("wmf2gd (libwmf-bin) is not installed");
  test::TempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  // Blocks of colour: another renderer may place edges half a pixel apart.
  Bitmap image;
  image.Reset(120, 80);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 120; ++x)
      image.SetPixelRgb(x, y, ((x / 20) * 0x2A0000) | ((y / 20) * 0x003F00) | 0x000080);
  const auto wmf_path = folder.Path() / "blocks.wmf", png_path = folder.Path() / "blocks.png";
  std::FILE* f = std::fopen(wmf_path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  WriteWmf(image, f);
  std::fclose(f);
  // wmf2gd draws at 72 dots per inch unless told the size.
  const std::string command = "wmf2gd --maxwidth=120 --maxheight=80 --maxsize -o '" +
                              png_path.string() + "' '" + wmf_path.string() + "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::FILE* png = std::fopen(png_path.c_str(), "rb");
  ASSERT_NE(png, nullptr);
  Bitmap drawn;
  ReadPngFile(png, drawn);
  std::fclose(png);
  ASSERT_EQ(drawn.Width(), image.Width());
  ASSERT_EQ(drawn.Height(), image.Height());
  // wmf2gd smooths when it scales and rounds colours by one: every channel must lie
  // within the range of the 3 x 3 neighbourhood of the same pixel, give or take 2.
  int differing = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const std::uint32_t got = drawn.PixelRgb(x, y);
      for (int shift : {0, 8, 16}) {
        int lo = 255, hi = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(image.Height() - 1, y + 1); ++ny)
          for (int nx = std::max(0, x - 1); nx <= std::min(image.Width() - 1, x + 1); ++nx) {
            const int v = static_cast<int>((image.PixelRgb(nx, ny) >> shift) & 0xFF);
            lo = std::min(lo, v), hi = std::max(hi, v);
          }
        const int v = static_cast<int>((got >> shift) & 0xFF);
        if (v < lo - 2 || v > hi + 2) {
          ++differing;
          break;
        }
      }
    }
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace zelk
