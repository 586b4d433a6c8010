#include "core/files/folder_scan.h"
#include "codecs/image_formats.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/files/file_spec.h"
#include "core/files/paths.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

class FolderScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zelk_folder_scan_XXXXXX").native();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = fs::canonical(pattern).native() + "/";
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Touch(const std::string& name) { std::ofstream(folder_ + name) << "x"; }
  std::vector<std::string> Scan() {
    FileList list;
    ScanFolderImages(folder_, IsListedImageExtension, list);
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) {
      EXPECT_EQ(PathPart(list[i]), folder_);
      names.push_back(FileNamePart(list[i]));
    }
    return names;
  }

  std::string folder_;
};

TEST_F(FolderScanTest, ListsTheImagesOfTheNamedFilesFolderInOrder) {
  for (const char* name : {"a.PNG", "b.jpg", "c.gif", "notes.txt"}) Touch(name);
  // What the start-up does with the command-line argument.
  const std::string spec = ExpandFileSpec(folder_ + "b.jpg");
  FileList list;
  ScanFolderImages(PathPart(spec), IsListedImageExtension, list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], folder_ + "a.PNG");
  EXPECT_EQ(list[1], folder_ + "b.jpg");
  EXPECT_EQ(list.IndexOf(spec), 1);
  EXPECT_EQ(list.IndexOf(folder_ + "c.gif"), -1);
}

TEST_F(FolderScanTest, ExtensionsAreMatchedWholeInAnyCase) {
  for (const char* name : {"a.JPE", "b.BM", "c.TIF", "d.Jpeg", "e.ico", "f.bmp", "g.emf", "h.WMF",
                           "noext", "jpg", "i.jpg.txt", "j.txt.jpg"})
    Touch(name);
  EXPECT_EQ(Scan(),
            (std::vector<std::string>{"d.Jpeg", "e.ico", "f.bmp", "g.emf", "h.WMF", "j.txt.jpg"}));
}

TEST_F(FolderScanTest, HiddenFilesAndFileSymlinksListedFoldersNot) {
  Touch(".hidden.png");
  Touch("real.png");
  fs::create_directory(folder_ + "sub.png");  // a folder with an image's name
  fs::create_directory(folder_ + "sub");
  std::ofstream(folder_ + "sub/deep.png") << "x";
  fs::create_symlink(folder_ + "real.png", folder_ + "link.png");
  fs::create_symlink(folder_ + "gone.png", folder_ + "dangling.png");
  fs::create_directory_symlink(folder_ + "sub", folder_ + "dirlink.png");
  EXPECT_EQ(Scan(), (std::vector<std::string>{".hidden.png", "link.png", "real.png"}));
}

TEST_F(FolderScanTest, NamesDifferingInCaseAndInvalidUtf8AreListedByteExact) {
  Touch("a.jpg");
  Touch("A.JPG");
  const std::string odd = "caf\xe9.png";  // Latin-1, not UTF-8
  Touch(odd);
  const std::vector<std::string> names = Scan();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_NE(std::find(names.begin(), names.end(), "a.jpg"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "A.JPG"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), odd), names.end());
  std::ifstream listed(folder_ + odd);  // the listed path opens the file
  EXPECT_TRUE(listed.good());
}

TEST_F(FolderScanTest, MissingFolderAddsNothingAndAFilledListIsMergedInto) {
  FileList list;
  ScanFolderImages(folder_ + "nowhere/", IsListedImageExtension, list);
  EXPECT_TRUE(list.Empty());

  Touch("b.png");
  Touch("d.png");
  FileList without_slash;
  ScanFolderImages(folder_.substr(0, folder_.size() - 1), IsListedImageExtension, without_slash);
  ASSERT_EQ(without_slash.Count(), 2);
  EXPECT_EQ(without_slash[0], folder_ + "b.png");

  list.Add(folder_ + "c.png");
  list.Add(folder_ + "d.png");
  ScanFolderImages(folder_, IsListedImageExtension, list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], folder_ + "b.png");
  EXPECT_EQ(list[1], folder_ + "c.png");
  EXPECT_EQ(list[2], folder_ + "d.png");
}

}  // namespace
}  // namespace zelk
