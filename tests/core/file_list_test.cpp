#include "core/files/file_list.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <stdexcept>

#include "core/files/paths.h"

namespace zelk {
namespace {

std::vector<std::string> Entries(const FileList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

TEST(FileListTest, OrdersByTextIgnoringCaseWithDigitsAsText) {
  FileList list;
  list.Assign({"/p/img2.png", "/p/C.png", "/p/img10.png", "/p/b.jpg", "/p/a.PNG"});
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"/p/a.PNG", "/p/b.jpg", "/p/C.png",
                                                     "/p/img10.png", "/p/img2.png"}));
}

TEST(FileListTest, AddReturnsInsertionIndexOrTheIndexAlreadyListed) {
  FileList list;
  EXPECT_EQ(list.Add("/p/m.jpg"), 0);
  EXPECT_EQ(list.Add("/p/z.jpg"), 1);
  EXPECT_EQ(list.Add("/p/A.jpg"), 0);  // goes in front, not last
  EXPECT_EQ(list.Add("/p/m.jpg"), 1);  // already there: nothing added
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf("/p/z.jpg"), 2);
  EXPECT_EQ(list.IndexOf("/p/q.jpg"), -1);
  EXPECT_EQ(list.IndexOf("/p/M.JPG"), -1);  // case differs: another file on Linux
}

TEST(FileListTest, PathsDifferingOnlyInCaseAreTwoEntriesInAFixedOrder) {
  FileList list;
  EXPECT_EQ(list.Add("/p/a.jpg"), 0);
  EXPECT_EQ(list.Add("/p/A.JPG"), 0);  // the collation ties; the bytes put it first
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOf("/p/A.JPG"), 0);
  EXPECT_EQ(list.IndexOf("/p/a.jpg"), 1);
  EXPECT_EQ(list.Add("/p/a.jpg"), 1);
  EXPECT_EQ(list.Add("/p/b.jpg"), 2);

  FileList other;  // the same order whichever was added first
  other.Assign({"/p/b.jpg", "/p/A.JPG", "/p/a.jpg"});
  EXPECT_EQ(Entries(other), Entries(list));
}

TEST(FileListTest, CollatesByTheUsersLocale) {
  // The C locale folds case and compares code points; a real locale puts accented
  // letters beside their base letter. Either way case is ignored.
  const QLocale saved;
  for (const char* name : {"C", "en_US", "de_DE"}) {
    QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    FileList list;
    list.Assign({"/p/\xc3\xa4rger.png", "/p/Zebra.png", "/p/apfel.png", "/p/B.png"});
    EXPECT_EQ(list[0], "/p/apfel.png") << name;
    EXPECT_LT(list.IndexOf("/p/B.png"), list.IndexOf("/p/Zebra.png")) << name;
    const int umlaut = list.IndexOf("/p/\xc3\xa4rger.png");
    EXPECT_EQ(umlaut, std::string(name) == "C" ? 3 : 1) << name;
  }
  QLocale::setDefault(saved);
}

TEST(FileListTest, AssignAndAddAllDropDuplicatesAndMergeIntoTheOrder) {
  FileList list;
  list.Assign({"/p/c.png", "/p/a.png", "/p/c.png"});
  EXPECT_EQ(list.Count(), 2);
  list.AddAll({"/p/b.png", "/p/a.png", "/p/d.png", "/p/b.png"});
  EXPECT_EQ(Entries(list),
            (std::vector<std::string>{"/p/a.png", "/p/b.png", "/p/c.png", "/p/d.png"}));
  list.Assign({"/q/x.png"});
  EXPECT_EQ(Entries(list), std::vector<std::string>{"/q/x.png"});
}

TEST(FileListTest, InvalidUtf8PathsStayByteExactAndDistinct) {
  const std::string bad1 = "/p/\xff\xfe.jpg";
  const std::string bad2 = "/p/\xfe\xff.jpg";  // same replacement text, other bytes
  FileList list;
  list.Add(bad1);
  list.Add(bad2);
  list.Add("/p/a.jpg");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list[list.IndexOf(bad1)], bad1);
  EXPECT_EQ(list[list.IndexOf(bad2)], bad2);
  EXPECT_EQ(list.Add(bad2), list.IndexOf(bad2));
  EXPECT_EQ(list.Count(), 3);
}

TEST(FileListTest, DeleteAndOutOfRangeAccess) {
  FileList list;
  list.Assign({"/p/a.png", "/p/b.png", "/p/c.png"});
  list.Delete(1);
  list.Delete(7);  // ignored
  list.Delete(-1);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"/p/a.png", "/p/c.png"}));
  EXPECT_THROW(list[2], std::out_of_range);
  EXPECT_THROW(list[-1], std::out_of_range);
  list.Clear();
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.IndexOf("/p/a.png"), -1);
}

TEST(PathsTest, PartsOfAPath) {
  EXPECT_EQ(PathPart("/pics/photo.jpg"), "/pics/");
  EXPECT_EQ(PathPart("photo.jpg"), "");
  EXPECT_EQ(FileNamePart("/pics/photo.jpg"), "photo.jpg");
  EXPECT_EQ(FileNamePart("/pics/"), "");
  EXPECT_EQ(ExtensionOf("/pics/photo.tar.Gz"), ".Gz");
  EXPECT_EQ(ExtensionOf("/pics.d/photo"), "");  // a dot before the last "/" is no extension
  EXPECT_EQ(ExtensionOf("/pics/.hidden"), ".hidden");
  EXPECT_EQ(RemoveExtension("/pics/photo.jpg"), "/pics/photo");
  EXPECT_EQ(RemoveExtension("/pics.d/photo"), "/pics.d/photo");
}

TEST(PathsTest, UpperCaseKeepsInvalidBytesAndFoldsUnicodeLetters) {
  EXPECT_EQ(UpperCaseText("a\xff.jpg"), "A\xff.JPG");
  EXPECT_EQ(UpperCaseText("\xc3\xa4.ico"), "\xc3\x84.ICO");  // ä -> Ä
  EXPECT_EQ(UpperCaseText(".ico"), ".ICO");
}

}  // namespace
}  // namespace zelk
