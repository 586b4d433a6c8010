// Metafiles written by Inkscape, drawn by our playback, against Inkscape's own
// drawing of the same picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "codecs/metafile_reader.h"
#include "codecs/png_codec.h"
#include "metafile_test_support.h"

namespace zelk {
namespace {

const std::filesystem::path kFolder =
    std::filesystem::path(ZELK_SOURCE_DIR) / "tests" / "data" / "metafiles";

Bitmap Reference() {
  Bitmap png;
  std::FILE* f = std::fopen((kFolder / "shapes-inkscape.png").c_str(), "rb");
  if (f == nullptr) return png;
  ReadPngFile(f, png);
  std::fclose(f);
  return png;
}

// Pixels of the shared area whose channels leave the range of the reference's 3 x 3
// neighbourhood by more than the tolerance (edges are anti-aliased there).
int Mismatches(const Bitmap& ours, const Bitmap& reference, int tolerance) {
  int bad = 0;
  const int w = std::min(ours.Width(), reference.Width());
  const int h = std::min(ours.Height(), reference.Height());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int shift : {0, 8, 16}) {
        int lo = 255, hi = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
          for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx) {
            const int v = static_cast<int>((reference.PixelRgb(nx, ny) >> shift) & 0xFF);
            lo = std::min(lo, v), hi = std::max(hi, v);
          }
        const int v = static_cast<int>((ours.PixelRgb(x, y) >> shift) & 0xFF);
        if (v < lo - tolerance || v > hi + tolerance) {
          ++bad;
          break;
        }
      }
    }
  }
  return bad;
}

TEST(MetafileReference, InkscapeDrawingsMatchInkscapesRendering) {
  test::EnsureGuiApplication();
  const Bitmap reference = Reference();
  ASSERT_EQ(reference.Width(), 160);
  ASSERT_EQ(reference.Height(), 120);
  for (const char* name : {"shapes.wmf", "shapes.emf"}) {
    SCOPED_TRACE(name);
    const test::Bytes data = test::ReadAll(kFolder / name);
    ASSERT_FALSE(data.empty());
    Bitmap ours;
    if (std::string(name).ends_with(".wmf"))
      ReadWmf(data.data(), data.size(), ours);
    else
      ReadEmf(data.data(), data.size(), ours);
    EXPECT_NEAR(ours.Width(), 160, 2);
    EXPECT_NEAR(ours.Height(), 120, 1);
    // Inside each shape, far from its edges, the colours are exact.
    EXPECT_EQ(ours.PixelRgb(40, 30), 0x2060C0u);
    EXPECT_EQ(ours.PixelRgb(115, 35), 0xE03020u);
    EXPECT_EQ(ours.PixelRgb(60, 100), 0x30A040u);
    EXPECT_EQ(ours.PixelRgb(130, 100), 0xFFFFFFu);
    EXPECT_LE(Mismatches(ours, reference, 24), 160 * 120 / 100);
  }
}

}  // namespace
}  // namespace zelk
