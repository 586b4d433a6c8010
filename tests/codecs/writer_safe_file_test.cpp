#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "codecs/bmp_writer.h"
#include "codecs/image_writer.h"
#include "codecs/safe_file_writer.h"
#include "support/file_replacement.h"

namespace zelk {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zelk_writer_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = std::string(name) + "/";
    // Copies kept while writing in place go here, where the tests can see them.
    char cache[] = "/tmp/zelk_cache_XXXXXX";
    ASSERT_NE(mkdtemp(cache), nullptr);
    cache_ = cache;
    setenv("XDG_CACHE_HOME", cache, 1);
    image_.Reset(200, 150);
    image_.Fill(0x4080C0);
  }
  void TearDown() override {
    unsetenv("XDG_CACHE_HOME");
    fs::remove_all(dir_);
    fs::remove_all(cache_);
  }

  bool NoBackupLeft() const {
    const fs::path own = fs::path(cache_) / "zelk-zoomer";
    return !fs::exists(own) || fs::is_empty(own);
  }

  std::vector<std::string> Entries(const std::string& sub = "") const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ + sub)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  void WriteOld(const std::string& name) { std::ofstream(dir_ + name, std::ios::binary) << "old"; }
  // The errno of saving the image to path (0 when saved), with files limited to
  // `limit` bytes when given.
  int ErrorOfSaving(const std::string& path, rlim_t limit = RLIM_INFINITY);

  std::string dir_;
  std::string cache_;
  Bitmap image_;
};

// Runs body as an ordinary user, for whom permissions apply: directly when this
// process is not root, otherwise in this test binary re-run as "nobody" with only the
// current test selected. Skips when no tool can switch users here.
void RunAsOrdinaryUser(const std::function<void()>& body) {
  if (geteuid() != 0) return body();
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  const auto run = [](std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = -1;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child)
      return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const std::vector<std::vector<std::string>> switches = {
      {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"},
      {"runuser", "-u", "nobody", "--"}};
  for (const auto& prefix : switches) {
    std::vector<std::string> probe = prefix;
    probe.push_back("true");
    if (run(probe) != 0) continue;
    std::vector<std::string> rerun = prefix;
    rerun.insert(rerun.end(), {self, filter});
    EXPECT_EQ(run(rerun), 0) << "the test failed as user nobody (its output is above)";
    return;
  }
  GTEST_SKIP() << "cannot run as an ordinary user here";
}

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

int WriterTest::ErrorOfSaving(const std::string& path, rlim_t limit) {
  try {
    FileSizeLimit limited(limit);
    SaveImageFile(path, image_);
    return 0;
  } catch (const std::system_error& e) {
    return e.code().value();
  }
}

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

TEST_F(WriterTest, PermissionsDecideAsForAPlainWrite) {
  RunAsOrdinaryUser([&] {
    // A folder that takes no new entries, holding a file that may be written: written
    // in place, keeping its permissions and its inode, leaving nothing behind.
    const std::string open = dir_ + "ro/open.bmp";
    const std::string shut = dir_ + "ro/shut.bmp";
    fs::create_directory(dir_ + "ro");
    WriteOld("ro/open.bmp");
    WriteOld("ro/shut.bmp");
    chmod(open.c_str(), 0646);
    chmod(shut.c_str(), 0444);
    chmod((dir_ + "ro").c_str(), 0555);
    const ino_t inode = InodeOf(open);
    SaveImageFile(open, image_);
    EXPECT_EQ(ReadAll(open).substr(0, 2), "BM");
    EXPECT_EQ(ReadAll(open).size(), 54u + 600u * 150u);
    EXPECT_EQ(ModeOf(open), 0646u);
    EXPECT_EQ(InodeOf(open), inode);
    EXPECT_TRUE(NoBackupLeft());

    // The same, failing part-way: the old content comes back.
    WriteOld("ro/open.bmp");
    EXPECT_EQ(ErrorOfSaving(open, 4096), EFBIG);
    EXPECT_EQ(ReadAll(open), "old");
    EXPECT_TRUE(NoBackupLeft());

    // Where a plain write is refused, so is the replacement, with the system's reason:
    // a write-protected file in a closed folder or in an open one, a new file in a
    // closed folder.
    EXPECT_EQ(ErrorOfSaving(shut), EACCES);
    EXPECT_EQ(ErrorOfSaving(dir_ + "ro/new.bmp"), EACCES);
    chmod((dir_ + "ro").c_str(), 0755);
    EXPECT_EQ(ErrorOfSaving(shut), EACCES);
    EXPECT_EQ(ReadAll(shut), "old");
    EXPECT_EQ(ModeOf(shut), 0444u);
    EXPECT_EQ(Entries("ro"), (std::vector<std::string>{"open.bmp", "shut.bmp"}));
  });
}

TEST_F(WriterTest, TheTemporaryFileIsNeverMoreOpenThanTheResult) {
  const mode_t mask = umask(0);
  WriteOld("old.bmp");
  chmod((dir_ + "old.bmp").c_str(), 0640);
  {
    SafeFileWriter writer(dir_ + "old.bmp");
    EXPECT_EQ(ModeOf(writer.TemporaryPath()), 0640u);
  }
  {
    SafeFileWriter writer(dir_ + "new.bmp");
    EXPECT_EQ(ModeOf(writer.TemporaryPath()), 0600u);
    writer.Commit();
  }
  umask(mask);
  EXPECT_EQ(ModeOf(dir_ + "new.bmp"), 0666u);

  // A name of 254 bytes leaves no room for a temporary name built on it.
  const std::string longest = std::string(250, 'n') + ".bmp";
  SaveImageFile(dir_ + longest, image_);
  EXPECT_EQ(ReadAll(dir_ + longest).substr(0, 2), "BM");

  // Root may write a write-protected file, as a plain open lets it; the owner stays.
  if (geteuid() == 0) {
    WriteOld("theirs.bmp");
    chmod((dir_ + "theirs.bmp").c_str(), 0444);
    ASSERT_EQ(chown((dir_ + "theirs.bmp").c_str(), 65534, 65534), 0);
    SaveImageFile(dir_ + "theirs.bmp", image_);
    struct stat st {};
    ASSERT_EQ(stat((dir_ + "theirs.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(ReadAll(dir_ + "theirs.bmp").substr(0, 2), "BM");
  }
}

TEST_F(WriterTest, LinksAreFollowedAndHardLinksAllSeeTheNewContent) {
  // A dangling link names the file to create; the link stays a link.
  fs::create_symlink("made.bmp", dir_ + "dangling.bmp");
  SaveImageFile(dir_ + "dangling.bmp", image_);
  EXPECT_TRUE(fs::is_symlink(dir_ + "dangling.bmp"));
  EXPECT_EQ(ReadAll(dir_ + "made.bmp").substr(0, 2), "BM");

  fs::create_symlink("loop_b.bmp", dir_ + "loop_a.bmp");
  fs::create_symlink("loop_a.bmp", dir_ + "loop_b.bmp");
  EXPECT_EQ(ErrorOfSaving(dir_ + "loop_a.bmp"), ELOOP);

  WriteOld("first.bmp");
  fs::create_hard_link(dir_ + "first.bmp", dir_ + "second.bmp");
  EXPECT_EQ(ErrorOfSaving(dir_ + "first.bmp", 4096), EFBIG);
  EXPECT_EQ(ReadAll(dir_ + "second.bmp"), "old");
  EXPECT_TRUE(NoBackupLeft());
  SaveImageFile(dir_ + "first.bmp", image_);
  EXPECT_EQ(ReadAll(dir_ + "second.bmp").substr(0, 2), "BM");
  EXPECT_EQ(fs::hard_link_count(dir_ + "first.bmp"), 2u);
  EXPECT_TRUE(NoBackupLeft());
  EXPECT_EQ(Entries(), (std::vector<std::string>{"dangling.bmp", "first.bmp", "loop_a.bmp",
                                                 "loop_b.bmp", "made.bmp", "second.bmp"}));
}

TEST_F(WriterTest, APipeInTheTargetsPlaceIsRefusedAtOnce) {
  ASSERT_EQ(mkfifo((dir_ + "pipe.bmp").c_str(), 0600), 0);
  try {
    SaveImageFile(dir_ + "pipe.bmp", image_);
    ADD_FAILURE() << "a pipe is no file to replace";
  } catch (const std::system_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + dir_ + "pipe.bmp: not a regular file");
  }
  EXPECT_TRUE(fs::is_fifo(dir_ + "pipe.bmp"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pipe.bmp"}));
}

}  // namespace
}  // namespace zelk

// ---- Writes cut off by kill -9 ---------------------------------------------------

namespace zelk {
namespace {

// A 24-megapixel picture with detail everywhere: its PNG takes seconds to write.
Bitmap LargePicture() {
  Bitmap picture;
  picture.ResetUninitialised(6000, 4000);
  for (int y = 0; y < picture.Height(); ++y) {
    std::uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width() * 3; ++x)
      row[x] = static_cast<std::uint8_t>((x * 7) ^ (y * 13) ^ ((x * y) >> 5));
  }
  return picture;
}

// Saves `picture` to target in a child, and kills it with SIGKILL once `started`
// says the write is under way. False when the child ended before it could be killed.
bool KillMidWrite(const std::string& target, const Bitmap& picture,
                  const std::function<bool()>& started) {
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      SaveImageFile(target, picture);
    } catch (...) {
    }
    _exit(0);
  }
  if (pid < 0) return false;
  const auto start = std::chrono::steady_clock::now();
  while (!started() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST_F(WriterTest, AnInPlaceWriteKilledMidWriteIsPutBackAtTheNextStart) {
  // A second hard link makes the write go in place, behind a backup.
  const std::string target = dir_ + "linked.png";
  std::string old_content;
  for (int i = 0; i < 3000000; ++i) old_content.push_back(static_cast<char>(i * 7919 % 253));
  std::ofstream(target, std::ios::binary) << old_content;
  fs::create_hard_link(target, dir_ + "also.png");
  const Bitmap picture = LargePicture();
  ASSERT_TRUE(KillMidWrite(target, picture, [&] {
    std::error_code ignored;
    const auto size = fs::file_size(target, ignored);
    return size > 0 && size != old_content.size() && size != static_cast<std::uintmax_t>(-1);
  })) << "the write ended before it could be killed";
  const std::string partial = ReadAll(target);
  EXPECT_NE(partial, old_content);
  EXPECT_EQ(partial.substr(1, 3), "PNG");

  EXPECT_TRUE(RestoreUnfinishedReplacements().empty());
  EXPECT_TRUE(ReadAll(target) == old_content) << "the old content is not back byte for byte";
  EXPECT_TRUE(ReadAll(dir_ + "also.png") == old_content);
  EXPECT_TRUE(NoBackupLeft());
}

TEST_F(WriterTest, TheTemporaryFileOfAKilledConvertGoesAtTheNextWriteIntoItsFolder) {
  const Bitmap picture = LargePicture();
  const auto temporaries = [this] {
    std::vector<std::string> found;
    for (const std::string& name : Entries())
      if (name.rfind(".zelk-", 0) == 0) found.push_back(name);
    return found;
  };
  ASSERT_TRUE(KillMidWrite(dir_ + "converted.png", picture, [&] {
    const std::vector<std::string> found = temporaries();
    std::error_code ignored;
    return !found.empty() && fs::file_size(dir_ + found[0], ignored) > 0;
  }));
  ASSERT_EQ(temporaries().size(), 1u);
  EXPECT_FALSE(fs::exists(dir_ + "converted.png"));

  SaveImageFile(dir_ + "next.bmp", image_);
  EXPECT_TRUE(temporaries().empty());
  EXPECT_EQ(Entries(), std::vector<std::string>{"next.bmp"});
}

}  // namespace
}  // namespace zelk
