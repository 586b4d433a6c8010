#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "codecs/bmp_writer.h"
#include "codecs/image_writer.h"
#include "codecs/safe_file_writer.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zelk_writer_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = std::string(name) + "/";
    image_.Reset(200, 150);
    image_.Fill(0x4080C0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  void WriteOld(const std::string& name) { std::ofstream(dir_ + name, std::ios::binary) << "old"; }

  std::string dir_;
  Bitmap image_;
};

// Makes every write past `bytes` of a file fail with EFBIG, as a full disk would,
// for the lifetime of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

TEST_F(WriterTest, FormatFollowsTheExtension) {
  SaveImageFile(dir_ + "a.BmP", image_);
  SaveImageFile(dir_ + "a.png", image_);
  SaveImageFile(dir_ + "a.JPEG", image_);
  SaveImageFile(dir_ + "b.jpg", image_);
  EXPECT_EQ(ReadAll(dir_ + "a.BmP").substr(0, 2), "BM");
  EXPECT_EQ(ReadAll(dir_ + "a.BmP").size(), 54u + 600u * 150u);
  EXPECT_EQ(ReadAll(dir_ + "a.png").substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(ReadAll(dir_ + "a.JPEG").substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(ReadAll(dir_ + "b.jpg").substr(0, 2), "\xFF\xD8");
  // Metafiles: placeable WMF for .wmf, EMF (record type 1, " EMF" at 40) otherwise.
  std::size_t written = 4;
  for (const char* name : {"c.wmf", "c.emf", "c.ico", "c.gif", "noext"}) {
    SCOPED_TRACE(name);
    try {
      SaveImageFile(dir_ + name, image_);
    } catch (const ImageError&) {
      EXPECT_FALSE(fs::exists(dir_ + name));  // an encoder that refuses leaves nothing
      continue;
    }
    ++written;
    const std::string bytes = ReadAll(dir_ + name);
    if (std::string(name) == "c.wmf") {
      EXPECT_EQ(bytes.substr(0, 4), "\xD7\xCD\xC6\x9A");
    } else {
      ASSERT_GE(bytes.size(), 44u);
      EXPECT_EQ(bytes.substr(0, 4), std::string("\x01\x00\x00\x00", 4));
      EXPECT_EQ(bytes.substr(40, 4), " EMF");
    }
  }
  EXPECT_EQ(Entries().size(), written);  // and no temporary files
  Bitmap empty;
  EXPECT_THROW(SaveImageFile(dir_ + "d.bmp", empty), ImageError);
  EXPECT_FALSE(fs::exists(dir_ + "d.bmp"));
}

TEST_F(WriterTest, OverwritingKeepsPermissionsAndNewFilesFollowTheUmask) {
  WriteOld("keep.bmp");
  chmod((dir_ + "keep.bmp").c_str(), 0640);
  SaveImageFile(dir_ + "keep.bmp", image_);
  EXPECT_EQ(ReadAll(dir_ + "keep.bmp").substr(0, 2), "BM");
  struct stat st {};
  ASSERT_EQ(stat((dir_ + "keep.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const mode_t mask = umask(027);
  SaveImageFile(dir_ + "new.bmp", image_);
  umask(mask);
  ASSERT_EQ(stat((dir_ + "new.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"keep.bmp", "new.bmp"}));
}

TEST_F(WriterTest, AFullDiskLeavesTheOldFileAndNoTemporaryFile) {
  WriteOld("target.bmp");
  try {
    FileSizeLimit limit(4096);
    SaveImageFile(dir_ + "target.bmp", image_);
    ADD_FAILURE() << "the write should have failed";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EFBIG);
    EXPECT_NE(std::string(e.what()).find("cannot write " + dir_ + "target.bmp"), std::string::npos);
  }
  EXPECT_EQ(ReadAll(dir_ + "target.bmp"), "old");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"target.bmp"}));

  // The same through a device that is always full.
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full != nullptr) {
    std::setvbuf(full, nullptr, _IONBF, 0);
    try {
      WriteBmp(image_, full);
      ADD_FAILURE() << "writing to /dev/full should fail";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code().value(), ENOSPC);
    }
    std::fclose(full);
  }
}

TEST_F(WriterTest, UncommittedOrUnwritableTargetsChangeNothing) {
  WriteOld("target.png");
  {
    SafeFileWriter writer(dir_ + "target.png");
    std::fputs("new", writer.File());
    EXPECT_TRUE(fs::exists(writer.TemporaryPath()));
    EXPECT_EQ(fs::path(writer.TemporaryPath()).parent_path(),
              fs::path(dir_ + "target.png").parent_path());
  }  // dropped without Commit, as when an encoder throws
  EXPECT_EQ(ReadAll(dir_ + "target.png"), "old");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"target.png"}));

  try {
    SaveImageFile(dir_ + "no/such/folder/x.bmp", image_);
    ADD_FAILURE();
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOENT);
    EXPECT_EQ(std::string(e.what()),
              "cannot write " + dir_ + "no/such/folder/x.bmp: No such file or directory");
  }
  fs::create_directory(dir_ + "sub.bmp");
  EXPECT_THROW(SaveImageFile(dir_ + "sub.bmp", image_), std::system_error);

  if (geteuid() != 0) {  // root writes anywhere
    fs::create_directory(dir_ + "ro");
    WriteOld("ro/t.bmp");
    chmod((dir_ + "ro").c_str(), 0555);
    EXPECT_THROW(SaveImageFile(dir_ + "ro/t.bmp", image_), std::system_error);
    chmod((dir_ + "ro").c_str(), 0755);
    EXPECT_EQ(ReadAll(dir_ + "ro/t.bmp"), "old");
  }
}

TEST_F(WriterTest, ASymbolicLinkKeepsPointingAtTheNewContent) {
  fs::create_directory(dir_ + "real");
  WriteOld("real/pic.bmp");
  fs::create_symlink("real/pic.bmp", dir_ + "link.bmp");
  SaveImageFile(dir_ + "link.bmp", image_);
  EXPECT_TRUE(fs::is_symlink(dir_ + "link.bmp"));
  EXPECT_EQ(ReadAll(dir_ + "real/pic.bmp").substr(0, 2), "BM");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.bmp", "real"}));
}

}  // namespace
}  // namespace zelk
