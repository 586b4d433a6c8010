// Metafiles written by Inkscape, drawn by our playback, against Inkscape's own
// drawing of the same picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/metafile_reader.h"
#include "codecs/png_codec.h"
#include "metafile_test_support.h"
#include "needed_tool.h"

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

// Pixels whose 5 x 5 neighbourhood in the reference is one colour (inside shapes and
// bitmap blocks) and that differ from it in ours.
int InteriorDifferences(const Bitmap& ours, const Bitmap& reference) {
  int bad = 0;
  const int w = std::min(ours.Width(), reference.Width());
  const int h = std::min(ours.Height(), reference.Height());
  for (int y = 2; y + 2 < h; ++y)
    for (int x = 2; x + 2 < w; ++x) {
      const std::uint32_t c = reference.PixelRgb(x, y);
      bool uniform = true;
      for (int ny = y - 2; ny <= y + 2 && uniform; ++ny)
        for (int nx = x - 2; nx <= x + 2 && uniform; ++nx)
          uniform = reference.PixelRgb(nx, ny) == c;
      if (uniform && ours.PixelRgb(x, y) != c) ++bad;
    }
  return bad;
}

// One drawing (shapes, a clipped circle, text, a pixelated bitmap) written by other
// programs, each file against that program's own drawing of the file it wrote: exact
// inside every area of one colour, and at most 1 % of the pixels out of their
// neighbourhood's range at edges and in text.
TEST(MetafileReference, OtherProducersFilesMatchTheirOwnRendering) {
  test::EnsureGuiApplication();
  for (const char* name : {"scene-inkscape.wmf", "scene-inkscape.emf", "scene-libreoffice.wmf",
                           "scene-libreoffice.emf"}) {
    SCOPED_TRACE(name);
    const std::string file = name;
    const std::string stem = file.substr(0, file.size() - 4);
    const std::string kind = file.substr(file.size() - 3);
    Bitmap reference;
    std::FILE* f = std::fopen((kFolder / (stem + "-" + kind + ".png")).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ReadPngFile(f, reference);
    std::fclose(f);
    const test::Bytes data = test::ReadAll(kFolder / file);
    ASSERT_FALSE(data.empty());
    Bitmap ours;
    if (kind == "wmf")
      ReadWmf(data.data(), data.size(), ours);
    else
      ReadEmf(data.data(), data.size(), ours);
    EXPECT_NEAR(ours.Width(), reference.Width(), 1);
    EXPECT_NEAR(ours.Height(), reference.Height(), 1);
    const int interior = InteriorDifferences(ours, reference);
    const int outside = Mismatches(ours, reference, 24);
    const int area =
        std::min(ours.Width(), reference.Width()) * std::min(ours.Height(), reference.Height());
    EXPECT_EQ(interior, 0);
    EXPECT_LE(outside, area / 100);
    std::printf("%s: %d of %d pixels outside tolerance, %d inside areas of one colour\n", name,
                outside, area, interior);
  }
}

// The box of the strongly red pixels and how many there are.
struct Disc {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, pixels = 0;
};

Disc RedDisc(const Bitmap& image) {
  Disc d;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const std::uint32_t c = image.PixelRgb(x, y);
      if ((c >> 16) < 200 || ((c >> 8) & 0xFF) > 60 || (c & 0xFF) > 60) continue;
      d.left = std::min(d.left, x), d.right = std::max(d.right, x);
      d.top = std::min(d.top, y), d.bottom = std::max(d.bottom, y);
      ++d.pixels;
    }
  return d;
}

// The public sample drawing, a red circle saved as a placeable WMF and as an EMF by
// a vector editor whose WMF puts the circle 256 units off its own box: both files and
// libwmf's wmf2gd show one whole circle in the middle of a 110-pixel square.
TEST(MetafileReference, PublicDrawingWmfAndEmfShowTheWholeCircleLikeWmf2gd) {
  const auto folder = std::filesystem::path(ZELK_TESTDATA_DIR) / "metafile";
  if (!std::filesystem::exists(folder / "drawing.wmf") ||
      !std::filesystem::exists(folder / "drawing.emf"))
    GTEST_SKIP() << "test data absent: " << folder;
  test::EnsureGuiApplication();
  std::vector<Disc> discs;
  for (const char* name : {"drawing.wmf", "drawing.emf"}) {
    const test::Bytes data = test::ReadAll(folder / name);
    Bitmap ours;
    if (std::string(name).ends_with(".wmf"))
      ReadWmf(data.data(), data.size(), ours);
    else
      ReadEmf(data.data(), data.size(), ours);
    ASSERT_EQ(ours.Width(), 110) << name;
    ASSERT_EQ(ours.Height(), 110) << name;
    discs.push_back(RedDisc(ours));
  }
  if (std::system("command -v wmf2gd > /dev/null 2>&1") != 0)
    ZELK_SKIP_WITHOUT_TOOL("wmf2gd (libwmf-bin) is not installed");
  test::TempFolder temp;
  const auto png = temp.Path() / "drawing.png";
  const std::string command = "wmf2gd --maxwidth=110 --maxheight=110 --maxsize -o '" +
                              png.string() + "' '" + (folder / "drawing.wmf").string() +
                              "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Bitmap theirs;
  std::FILE* f = std::fopen(png.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ReadPngFile(f, theirs);
  std::fclose(f);
  ASSERT_EQ(theirs.Width(), 110);
  discs.push_back(RedDisc(theirs));

  for (const Disc& d : discs) {
    SCOPED_TRACE(&d - discs.data());
    // Whole: round, as many pixels as a full disc of its width, and centred.
    const int w = d.right - d.left + 1, h = d.bottom - d.top + 1;
    EXPECT_NEAR(w, h, 2);
    EXPECT_NEAR(d.pixels, 3.14159 * w * h / 4, 0.04 * w * h);
    EXPECT_NEAR(d.left + d.right, 109, 6);
    EXPECT_NEAR(d.top + d.bottom, 109, 6);
    // The same circle everywhere, to a few pixels (the programs' pens differ).
    EXPECT_NEAR(d.left, discs[0].left, 3);
    EXPECT_NEAR(d.right, discs[0].right, 3);
    EXPECT_NEAR(d.top, discs[0].top, 3);
    EXPECT_NEAR(d.bottom, discs[0].bottom, 3);
  }
}

}  // namespace
}  // namespace zelk
