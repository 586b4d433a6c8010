// The PNG reader on PNG files made by other programs: PngSuite, files that once
// crashed PNG readers, broken and truncated files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/png_codec.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

fs::path PngData() {
  return fs::path(ZELK_TESTDATA_DIR) / "png";
}

std::vector<fs::path> PngFilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".png") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Loads the file; true when it loaded, false when it failed with ImageError (whose
// reason goes to `reason`).
bool Load(const fs::path& path, Bitmap& out, const RasterReadOptions& options = {},
          std::string* reason = nullptr) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return false;
  }
  bool loaded = true;
  try {
    ReadPngFile(file, out, options);
  } catch (const ImageError& e) {
    EXPECT_GT(std::strlen(e.what()), 0u);
    if (reason != nullptr) *reason = e.what();
    loaded = false;
  }
  std::fclose(file);
  return loaded;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.Row(y), b.Row(y), static_cast<std::size_t>(a.Stride())) != 0) return false;
  return true;
}

TEST(PngTestdataTest, SuiteFilesLoadAndInterlacedOnesMatchTheirPlainTwins) {
  const fs::path suite = PngData() / "suite";
  if (!fs::exists(suite)) GTEST_SKIP() << "no test data at " << suite;
  int twins = 0;
  for (const fs::path& path : PngFilesIn(suite)) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    Bitmap out;
    const bool loaded = Load(path, out);
    // PngSuite's x* files are the deliberately broken ones.
    EXPECT_EQ(loaded, name[0] != 'x');
    if (!loaded) continue;
    EXPECT_FALSE(out.Empty());
    // ibasn0g08.png and interlaced-ibasn0g01.png hold the same picture as
    // basn0g08.png and basn0g01.png.
    std::string plain = name;
    if (plain.rfind("interlaced-", 0) == 0) plain.erase(0, 11);
    if (plain[0] != 'i' || !fs::exists(suite / plain.substr(1))) continue;
    Bitmap twin;
    ASSERT_TRUE(Load(suite / plain.substr(1), twin));
    EXPECT_TRUE(SamePixels(out, twin)) << "differs from " << plain.substr(1);
    ++twins;
  }
  EXPECT_GT(twins, 10);
}

TEST(PngTestdataTest, CrashersAndBrokenFilesLoadOrFailCleanly) {
  for (const char* folder : {"crashers", "broken"}) {
    const fs::path dir = PngData() / folder;
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data at " << dir;
    for (const fs::path& path : PngFilesIn(dir)) {
      SCOPED_TRACE(path.filename().string());
      Bitmap out;
      if (Load(path, out)) {
        EXPECT_FALSE(out.Empty());
      }
    }
  }
}

// The 8-bit non-interlaced files are inflated on one thread and unfiltered on
// another; every file must give what libpng alone gives: the same pixels, or the
// same kind of reason (which fault is met first may differ: the two-thread way
// checks a chunk's CRC before unfiltering its rows).
TEST(PngTestdataTest, TwoThreadDecodingGivesLibpngsPixelsAndReasons) {
  int compared = 0;
  for (const char* folder : {"suite", "crashers", "broken"}) {
    const fs::path dir = PngData() / folder;
    if (!fs::exists(dir)) GTEST_SKIP() << "no test data at " << dir;
    for (const fs::path& path : PngFilesIn(dir)) {
      SCOPED_TRACE(path.filename().string());
      RasterReadOptions one_thread;
      one_thread.second_thread = false;
      Bitmap alone, shared;
      std::string alone_reason, shared_reason;
      const bool alone_loaded = Load(path, alone, one_thread, &alone_reason);
      EXPECT_EQ(Load(path, shared, {}, &shared_reason), alone_loaded);
      EXPECT_EQ(shared_reason.substr(0, shared_reason.find(':')),
                alone_reason.substr(0, alone_reason.find(':')));
      EXPECT_TRUE(SamePixels(shared, alone));
      ++compared;
    }
  }
  EXPECT_GT(compared, 80);
}

}  // namespace
}  // namespace zelk
