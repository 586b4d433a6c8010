// Metafiles written by Inkscape, drawn by our playback, against Inkscape's own
// drawing of the same picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/metafile_reader.h"
#include "codecs/png_codec.h"
#include "metafile_test_support.h"

namespace zelk {
namespace {

const std::filesystem::path kFolder =
    std::filesystem::path(ZELK_SOURCE_DIR) / "tests" / "data" / "metafiles";

Bitmap Reference(const std::string& drawing) {
  Bitmap png;
  std::FILE* f = std::fopen((kFolder / (drawing + "-inkscape.png")).c_str(), "rb");
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

struct Probe {
  int x, y;
  std::uint32_t rgb;
};

// Plays drawing.wmf and drawing.emf and compares each with Inkscape's own rendering:
// far from any edge the colours are exact, and at most 1 % of the pixels leave the
// colour range of their neighbourhood in the reference.
void ExpectLikeInkscape(const std::string& drawing, const std::vector<Probe>& probes) {
  test::EnsureGuiApplication();
  const Bitmap reference = Reference(drawing);
  ASSERT_EQ(reference.Width(), 160);
  ASSERT_EQ(reference.Height(), 120);
  for (const std::string& name : {drawing + ".wmf", drawing + ".emf"}) {
    SCOPED_TRACE(name);
    const test::Bytes data = test::ReadAll(kFolder / name);
    ASSERT_FALSE(data.empty());
    Bitmap ours;
    if (name.ends_with(".wmf"))
      ReadWmf(data.data(), data.size(), ours);
    else
      ReadEmf(data.data(), data.size(), ours);
    EXPECT_NEAR(ours.Width(), 160, 2);
    EXPECT_NEAR(ours.Height(), 120, 1);
    for (const Probe& p : probes) EXPECT_EQ(ours.PixelRgb(p.x, p.y), p.rgb) << p.x << ", " << p.y;
    EXPECT_LE(Mismatches(ours, reference, 24), 160 * 120 / 100);
  }
}

TEST(MetafileReference, InkscapeShapesMatchInkscapesRendering) {
  ExpectLikeInkscape(
      "shapes",
      {{40, 30, 0x2060C0}, {115, 35, 0xE03020}, {60, 100, 0x30A040}, {130, 100, 0xFFFFFF}});
}

TEST(MetafileReference, InkscapeTextAndBitmapMatchInkscapesRendering) {
  // The embedded 16 x 16 bitmap is drawn at 32 x 32 from (20, 64): its 4 x 4 blocks
  // become 8 x 8.
  ExpectLikeInkscape("text-bitmap", {{24, 68, 0xFF0000},
                                     {32, 68, 0x0080FF},
                                     {32, 76, 0xFFFF00},
                                     {40, 68, 0xFFFF00},
                                     {48, 68, 0x000000},
                                     {48, 92, 0xFFFF00},
                                     {115, 80, 0x30A040},
                                     {140, 20, 0xFFE0A0},
                                     {140, 110, 0xFFFFFF}});
}

}  // namespace
}  // namespace zelk
