#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "codecs/image_loader.h"
#include "codecs/image_writer.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zelk_loader_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = std::string(name) + "/";
    image_.Reset(9, 6);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 9; ++x)
        image_.SetPixelRgb(x, y, x < 3 ? 0xFF0000 : y < 3 ? 0x00FF00 : 0x0000FF);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string LoadError(const std::string& path) {
    Bitmap out;
    try {
      LoadImageFile(path, out);
    } catch (const ImageError& e) {
      return e.what();
    }
    return "(loaded)";
  }

  std::string dir_;
  Bitmap image_;
};

TEST(ImageFormats, ListedExtensionsAreMatchedWhole) {
  for (const char* ext : {".jpg", ".Jpeg", ".JPG", ".bmp", ".ico", ".emf", ".WMF", ".png"})
    EXPECT_TRUE(IsListedImageExtension(ext)) << ext;
  for (const char* ext :
       {"", ".", ".JPE", ".BM", ".TIF", ".gif", ".txt", "JPG", ".JPG,.JPEG", ".jpg ", ".PN"})
    EXPECT_FALSE(IsListedImageExtension(ext)) << ext;
}

TEST(UpperExtension, TakesTheLastDotOfTheFileNameOnly) {
  EXPECT_EQ(UpperExtension("/pics/photo.Jpeg"), ".JPEG");
  EXPECT_EQ(UpperExtension("archive.tar.gz"), ".GZ");
  EXPECT_EQ(UpperExtension("/some.folder/name"), "");
  EXPECT_EQ(UpperExtension("/x/name."), ".");
  EXPECT_EQ(UpperExtension("/x/.bmp"), ".BMP");
  EXPECT_EQ(UpperExtension(""), "");
  // Bytes that are not ASCII letters stay as they are.
  EXPECT_EQ(UpperExtension("a.b\xE9z"), ".B\xE9Z");
}

TEST_F(LoaderTest, ChoosesTheDecoderByExtensionInAnyCase) {
  SaveImageFile(dir_ + "pic.Bmp", image_);
  SaveImageFile(dir_ + "pic.pNg", image_);
  SaveImageFile(dir_ + "photo.Jpeg", image_);
  for (const char* name : {"pic.Bmp", "pic.pNg", "photo.Jpeg"}) {
    SCOPED_TRACE(name);
    Bitmap out;
    ASSERT_NO_THROW(LoadImageFile(dir_ + name, out));
    ASSERT_EQ(out.Width(), 9);
    ASSERT_EQ(out.Height(), 6);
    const bool lossless = std::string(name).rfind(".Jpeg") == std::string::npos;
    if (lossless) {
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(out.PixelRgb(x, y), image_.PixelRgb(x, y));
    }
  }
  // The extension decides, not the content: a bitmap named .jpg goes to the JPEG
  // decoder, which refuses it.
  fs::copy_file(dir_ + "pic.Bmp", dir_ + "pic.jpg");
  EXPECT_NE(LoadError(dir_ + "pic.jpg"), "(loaded)");
}

TEST_F(LoaderTest, AControlFollowsTheRowsAndACancelIsNotAFailure) {
  for (const char* name : {"pic.bmp", "pic.png", "photo.jpg", "draw.emf"}) {
    SCOPED_TRACE(name);
    SaveImageFile(dir_ + name, image_);
    DecodeControl control;
    Bitmap out;
    LoadImageFile(dir_ + name, out, &control);
    EXPECT_EQ(control.rows_done, control.rows_total);
    if (std::string(name) != "draw.emf") {
      EXPECT_EQ(control.rows_total, 6);
    }

    control.cancel = true;
    EXPECT_THROW(LoadImageFile(dir_ + name, out, &control), DecodeCancelled);
    EXPECT_TRUE(out.Empty());
  }
}

TEST_F(LoaderTest, RefusalsNameTheirReason) {
  WriteBytes(dir_ + "anim.gif", "GIF89a");
  WriteBytes(dir_ + "README", "text");
  WriteBytes(dir_ + "broken.bmp", "BM");
  WriteBytes(dir_ + "broken.ico", std::string(40, '\xFF'));
  WriteBytes(dir_ + "broken.wmf", "\x01\x02");
  WriteBytes(dir_ + "broken.emf", "");
  EXPECT_EQ(LoadError(dir_ + "anim.gif"), "files of type .GIF cannot be opened");
  EXPECT_EQ(LoadError(dir_ + "README"), "a file with no extension cannot be opened");
  EXPECT_NE(LoadError(dir_ + "missing.png").find("No such file or directory"), std::string::npos);
  for (const char* name : {"broken.bmp", "broken.ico", "broken.wmf", "broken.emf"}) {
    SCOPED_TRACE(name);
    const std::string error = LoadError(dir_ + name);
    EXPECT_NE(error, "(loaded)");
    EXPECT_FALSE(error.empty());
  }
  fs::create_directory(dir_ + "folder.bmp");
  EXPECT_NE(LoadError(dir_ + "folder.bmp"), "(loaded)");
}

TEST_F(LoaderTest, NamesThatAreNotUtf8Load) {
  const std::string path = dir_ + "\xFF\xFE caf\xE9.bmp";
  SaveImageFile(path, image_);
  Bitmap out;
  ASSERT_NO_THROW(LoadImageFile(path, out));
  EXPECT_EQ(out.Width(), 9);
  EXPECT_EQ(out.PixelRgb(8, 5), 0x0000FFu);
}

}  // namespace
}  // namespace zelk
