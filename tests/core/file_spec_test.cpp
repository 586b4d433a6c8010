#include "core/files/file_spec.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "core/files/paths.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

// A fresh folder (with a subfolder "pics" holding one file) made the current
// directory for one test; both are undone afterwards.
class FileSpecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_cwd_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "zelk_file_spec_XXXXXX").native();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "pics");
    std::ofstream(root_ / "pics" / "b.jpg") << "x";
    root_ = fs::canonical(root_);
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    fs::remove_all(root_);
  }
  std::string Root() const { return root_.native(); }

  fs::path saved_cwd_;
  fs::path root_;
};

TEST_F(FileSpecTest, FolderWithOrWithoutTrailingSlashGetsAllFilesPattern) {
  EXPECT_EQ(ExpandFileSpec(Root() + "/pics"), Root() + "/pics/*.*");
  EXPECT_EQ(ExpandFileSpec(Root() + "/pics/"), Root() + "/pics/*.*");
  EXPECT_EQ(ExpandFileSpec("pics"), Root() + "/pics/*.*");
  EXPECT_EQ(ExpandFileSpec("."), Root() + "/*.*");
  EXPECT_EQ(ExpandFileSpec("pics/."), Root() + "/pics/*.*");
  // A trailing "/" is taken at its word even when no such folder exists.
  EXPECT_EQ(ExpandFileSpec("nowhere/"), Root() + "/nowhere/*.*");
}

TEST_F(FileSpecTest, FileNamesBecomeAbsoluteWithoutDotsOrDoubledSlashes) {
  EXPECT_EQ(ExpandFileSpec("pics/b.jpg"), Root() + "/pics/b.jpg");
  EXPECT_EQ(ExpandFileSpec("./pics//b.jpg"), Root() + "/pics/b.jpg");
  EXPECT_EQ(ExpandFileSpec("missing.png"), Root() + "/missing.png");
  EXPECT_EQ(ExpandFileSpec(Root() + "/pics/b.jpg"), Root() + "/pics/b.jpg");
  // ".." is resolved by the spelling, so each file is listed under one name.
  EXPECT_EQ(ExpandFileSpec("pics/../x.png"), Root() + "/x.png");
  EXPECT_EQ(ExpandFileSpec("pics/../pics/./b.jpg"), Root() + "/pics/b.jpg");
  EXPECT_EQ(ExpandFileSpec("pics/.."), Root() + "/*.*");
  EXPECT_EQ(ExpandFileSpec("/../../x.png"), "/x.png");
  // The path part of the result is the folder to scan.
  EXPECT_EQ(PathPart(ExpandFileSpec("pics/b.jpg")), Root() + "/pics/");
  // From a subfolder, as in "cd pics; zelkzoomer ../pics/b.jpg".
  ChangeCurrentFolder(Root() + "/pics");
  EXPECT_EQ(ExpandFileSpec("../pics/b.jpg"), Root() + "/pics/b.jpg");
  EXPECT_EQ(ExpandFileSpec(".."), Root() + "/*.*");
}

TEST_F(FileSpecTest, BlanksMarkerAndWildcards) {
  EXPECT_EQ(ExpandFileSpec("  pics/b.jpg \t\r\n"), Root() + "/pics/b.jpg");
  EXPECT_EQ(ExpandFileSpec(" \t "), "");
  EXPECT_EQ(ExpandFileSpec(""), "");
  EXPECT_EQ(ExpandFileSpec("+pics/b.jpg"), "+" + Root() + "/pics/b.jpg");
  EXPECT_EQ(ExpandFileSpec("+ pics "), "+" + Root() + "/pics/*.*");
  EXPECT_EQ(ExpandFileSpec("pics/*.png"), Root() + "/pics/*.png");
  EXPECT_EQ(ExpandFileSpec("pic?"), Root() + "/pic?");  // no folder test for patterns
  // Inner blanks are part of the name.
  EXPECT_EQ(ExpandFileSpec("my pics/a b.png"), Root() + "/my pics/a b.png");
}

TEST_F(FileSpecTest, ChangeCurrentFolderMovesOrIgnoresFailure) {
  ChangeCurrentFolder(Root() + "/pics/");
  EXPECT_EQ(fs::current_path(), root_ / "pics");
  ChangeCurrentFolder(Root() + "/no such folder/");
  ChangeCurrentFolder("");
  EXPECT_EQ(fs::current_path(), root_ / "pics");
  EXPECT_EQ(ExpandFileSpec("b.jpg"), Root() + "/pics/b.jpg");
}

TEST_F(FileSpecTest, SameFilePathSeesLinksAndFallsBackToBytes) {
  const std::string file = Root() + "/pics/b.jpg";
  fs::create_symlink(file, root_ / "link.jpg");
  EXPECT_TRUE(SameFilePath(file, Root() + "/link.jpg"));
  EXPECT_TRUE(SameFilePath(file, Root() + "/pics/./b.jpg"));
  EXPECT_FALSE(SameFilePath(file, Root() + "/pics"));
  EXPECT_TRUE(SameFilePath(Root() + "/cb_x.bmp", Root() + "/cb_x.bmp"));  // neither exists
  EXPECT_FALSE(SameFilePath(Root() + "/cb_x.bmp", Root() + "/CB_X.BMP"));
  EXPECT_FALSE(SameFilePath(file, Root() + "/pics/B.JPG"));
}

}  // namespace
}  // namespace zelk
