// The JPEG reader on JPEG files made by other programs: libjpeg-turbo's test
// images (baseline, integer DCT, arithmetic coding, 12-bit) and damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/jpeg_codec.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

fs::path JpegData() {
  return fs::path(ZELK_TESTDATA_DIR) / "jpeg";
}

// Loads the file; true when it loaded, false when it failed with ImageError.
bool Load(const fs::path& path, Bitmap& out, std::string* reason = nullptr) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return false;
  }
  bool loaded = true;
  try {
    ReadJpegFile(file, out);
  } catch (const ImageError& e) {
    EXPECT_GT(std::strlen(e.what()), 0u);
    if (reason != nullptr) *reason = e.what();
    loaded = false;
  }
  std::fclose(file);
  return loaded;
}

TEST(JpegTestdataTest, LibjpegTurboTestImagesLoadAndMatchTheReferenceDecoding) {
  if (!fs::exists(JpegData() / "ljt-testorig.jpg")) GTEST_SKIP() << "no test data";
  for (const char* name : {"ljt-testorig.jpg", "ljt-testimgint.jpg", "ljt-testimgari.jpg"}) {
    Bitmap out;
    EXPECT_TRUE(Load(JpegData() / name, out)) << name;
    EXPECT_EQ(out.Width(), 227) << name;
    EXPECT_EQ(out.Height(), 149) << name;
  }
  Bitmap twelve_bit;
  std::string reason;
  EXPECT_FALSE(Load(JpegData() / "ljt-monkey12.jpg", twelve_bit, &reason));
  EXPECT_NE(reason.find("12"), std::string::npos) << reason;

  // ljt-testorig.ppm is the reference decoding of ljt-testorig.jpg.
  std::ifstream ppm(JpegData() / "ljt-testorig.ppm", std::ios::binary);
  std::string magic;
  int width = 0, height = 0, max = 0;
  ppm >> magic >> width >> height >> max;
  ppm.get();
  ASSERT_EQ(magic, "P6");
  std::vector<unsigned char> reference(static_cast<std::size_t>(width) * height * 3);
  ppm.read(reinterpret_cast<char*>(reference.data()),
           static_cast<std::streamsize>(reference.size()));
  ASSERT_TRUE(ppm.good());
  Bitmap out;
  ASSERT_TRUE(Load(JpegData() / "ljt-testorig.jpg", out));
  ASSERT_EQ(out.Width(), width);
  ASSERT_EQ(out.Height(), height);
  // The reference was made with another build of the decoder: allow a rounding
  // step or two, but no more on average than a fraction of one.
  int worst = 0;
  long long total = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* want = &reference[(static_cast<std::size_t>(y) * width + x) * 3];
      const std::uint8_t* got = out.Row(y) + x * 3;  // B, G, R
      for (int c = 0; c < 3; ++c) {
        const int error = std::abs(got[2 - c] - want[c]);
        worst = std::max(worst, error);
        total += error;
      }
    }
  }
  EXPECT_LE(worst, 4);
  EXPECT_LT(static_cast<double>(total) / (width * height * 3.0), 0.25);
}

TEST(JpegTestdataTest, DamagedFilesLoadWhatTheyCanOrFailCleanly) {
  const fs::path dir = JpegData();
  if (!fs::exists(dir)) GTEST_SKIP() << "no test data at " << dir;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".jpg" || name.rfind("ljt-", 0) == 0) continue;
    SCOPED_TRACE(name);
    Bitmap out;
    if (Load(entry.path(), out)) {
      EXPECT_FALSE(out.Empty());
    }
  }
  // A file that ends in the middle of its picture still shows its top.
  Bitmap truncated;
  if (fs::exists(dir / "truncated_jpeg.jpg")) {
    ASSERT_TRUE(Load(dir / "truncated_jpeg.jpg", truncated));
    EXPECT_GT(truncated.Height(), 0);
  }
}

}  // namespace
}  // namespace zelk
