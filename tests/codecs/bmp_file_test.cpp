#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/bmp_reader.h"
#include "codecs/bmp_writer.h"
#include "codecs/png_codec.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> WriteToBytes(const Bitmap& image) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return {};
  WriteBmp(image, f);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::ftell(f)));
  std::rewind(f);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);
  return bytes;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelRgb(x, y) != b.PixelRgb(x, y)) return false;
  return true;
}

TEST(BmpFile, WriteThenReadGivesTheSamePixels) {
  Bitmap image;
  image.Reset(7, 5);  // an odd width, so every row is padded
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      image.SetPixelRgb(x, y, static_cast<std::uint32_t>((x * 37) << 16 | (y * 51) << 8 | x * y));
  const auto bytes = WriteToBytes(image);
  ASSERT_EQ(bytes.size(), 14u + 40u + 24u * 5u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[2] | bytes[3] << 8, static_cast<int>(bytes.size()));
  EXPECT_EQ(bytes[10], 54);

  Bitmap back;
  ReadBmp(bytes.data(), bytes.size(), back);
  EXPECT_TRUE(SamePixels(image, back));

  Bitmap empty;
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_THROW(WriteBmp(empty, f), ImageError);
  std::fclose(f);
}

TEST(BmpFile, HonoursTheBitsOffsetAndRejectsOtherFiles) {
  Bitmap image;
  image.Reset(2, 2);
  image.SetPixelRgb(1, 0, 0x123456);
  auto bytes = WriteToBytes(image);
  // Move the bits 10 bytes further on, as files with gaps or profiles do.
  bytes.insert(bytes.begin() + 54, 10, 0xEE);
  bytes[10] = 64;
  Bitmap back;
  ReadBmp(bytes.data(), bytes.size(), back);
  EXPECT_TRUE(SamePixels(image, back));

  bytes[10] = 20;  // inside the info header
  EXPECT_THROW(ReadBmp(bytes.data(), bytes.size(), back), ImageError);
  bytes[0] = 'P';
  EXPECT_THROW(ReadBmp(bytes.data(), bytes.size(), back), ImageError);
  EXPECT_THROW(ReadBmp(bytes.data(), 10, back), ImageError);
  const std::uint8_t just_bm[] = {'B', 'M'};
  EXPECT_THROW(ReadBmp(just_bm, sizeof just_bm, back), ImageError);
}

TEST(BmpFile, EveryTruncationOfAFileFailsCleanlyOrKeepsWhatIsThere) {
  Bitmap image;
  image.Reset(5, 4);
  image.Fill(0x336699);
  const auto bytes = WriteToBytes(image);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    Bitmap out;
    try {
      ReadBmp(bytes.data(), n, out);
      EXPECT_GT(n, 54u);
      EXPECT_EQ(out.Width(), 5);
      EXPECT_EQ(out.Height(), 4);
      // The bottom row comes first.
      if (n >= 54 + 3) {
        EXPECT_EQ(out.PixelRgb(0, 3), 0x336699u);
      }
      // The top row is the last to arrive; its last pixel needs all but the padding byte.
      if (n + 1 < bytes.size()) {
        EXPECT_EQ(out.PixelRgb(4, 0), 0xFFFFFFu);
      }
    } catch (const ImageError&) {
      EXPECT_LE(n, 54u);
    }
  }
}

// The BMP Suite: good files load (and match the reference renderings where those
// exist), questionable ones load or fail cleanly, bad ones never crash.
class BmpSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(ZELK_TESTDATA_DIR) / "bmp";
    if (!fs::is_directory(root_)) GTEST_SKIP() << "the BMP Suite is not at " << root_;
  }
  std::vector<fs::path> Files(const char* folder) const {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(root_ / folder))
      if (e.path().extension() == ".bmp") files.push_back(e.path());
    return files;
  }
  fs::path root_;
};

TEST_F(BmpSuite, GoodFilesLoadAndMatchTheirRenderings) {
  const auto files = Files("g");
  EXPECT_FALSE(files.empty());
  int compared = 0;
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    const auto bytes = Slurp(path);
    Bitmap out;
    ASSERT_NO_THROW(ReadBmp(bytes.data(), bytes.size(), out));
    EXPECT_FALSE(out.Empty());
    const fs::path png = root_ / "html" / (path.stem().string() + ".png");
    if (!fs::exists(png)) continue;
    std::FILE* f = std::fopen(png.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Bitmap expected;
    ReadPngFile(f, expected);
    std::fclose(f);
    ++compared;
    ASSERT_EQ(out.Width(), expected.Width());
    ASSERT_EQ(out.Height(), expected.Height());
    int worst = 0;
    for (int y = 0; y < out.Height(); ++y)
      for (int x = 0; x < out.Width(); ++x)
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(out.Row(y)[3 * x + c] - expected.Row(y)[3 * x + c]));
    // The renderings round some palette entries differently by one step.
    EXPECT_LE(worst, 1);
  }
  EXPECT_GT(compared, 0);
}

TEST_F(BmpSuite, OneImageInManyEncodingsDecodesIdentically) {
  // Names without a folder are in g/.
  auto load = [&](const std::string& name) {
    Bitmap out;
    const auto bytes =
        Slurp(name.find('/') == std::string::npos ? root_ / "g" / name : root_ / name);
    ReadBmp(bytes.data(), bytes.size(), out);
    return out;
  };
  const struct {
    const char* reference;
    std::vector<const char*> variants;
  } groups[] = {
      {"pal8.bmp",
       {"pal8-0.bmp", "pal8os2.bmp", "pal8rle.bmp", "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp"}},
      {"pal4.bmp", {"pal4rle.bmp"}},
      {"rgb24.bmp", {"rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp"}},
      {"rgb16-565.bmp", {"rgb16-565pal.bmp"}},
      // Alpha, whether named by a V5 or a 56-byte header or BI_ALPHABITFIELDS, or
      // present but not named, is not applied: the stored colours are shown.
      {"q/rgba32.bmp", {"q/rgba32abf.bmp", "q/rgba32h56.bmp"}},
      {"rgb24.bmp", {"q/rgb32fakealpha.bmp"}},
  };
  for (const auto& group : groups) {
    const Bitmap reference = load(group.reference);
    for (const char* variant : group.variants) {
      SCOPED_TRACE(variant);
      EXPECT_TRUE(SamePixels(reference, load(variant)));
    }
  }
}

TEST_F(BmpSuite, AlphaFileShowsItsStoredColours) {
  // rgba32.bmp: a V5 header, masks R 0xFF000000, G 0x0000FF00, B 0x000000FF,
  // A 0x00FF0000, bottom-up rows of 4-byte pixels.
  const auto bytes = Slurp(root_ / "q" / "rgba32.bmp");
  Bitmap out;
  ReadBmp(bytes.data(), bytes.size(), out);
  ASSERT_EQ(out.Width(), 127);
  ASSERT_EQ(out.Height(), 64);
  const std::size_t bits = bytes[10] | bytes[11] << 8;
  int translucent = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 127; ++x) {
      const std::uint8_t* p = &bytes[bits + (63 - y) * 127 * 4 + x * 4];
      translucent += p[2] != 255;
      ASSERT_EQ(out.PixelRgb(x, y), std::uint32_t{p[3]} << 16 | p[1] << 8 | p[0]) << x << "," << y;
    }
  }
  EXPECT_GT(translucent, 100);  // the file does use its alpha
}

TEST_F(BmpSuite, QuestionableAndBadFilesNeverCrash) {
  int loaded = 0, refused = 0;
  for (const char* folder : {"q", "b"}) {
    for (const auto& path : Files(folder)) {
      SCOPED_TRACE(path.string());
      const auto bytes = Slurp(path);
      Bitmap out;
      try {
        ReadBmp(bytes.data(), bytes.size(), out);
        ++loaded;
        EXPECT_GT(out.Width(), 0);
        EXPECT_GT(out.Height(), 0);
      } catch (const ImageError& e) {
        ++refused;
        EXPECT_STRNE(e.what(), "");
      }
    }
  }
  EXPECT_GT(loaded + refused, 0);
}

}  // namespace
}  // namespace zelk
