#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scripted_desktop.h"
#include "support/file_replacement.h"
#include "support/support.h"
#include "temp_folder.h"

namespace zelk {
namespace {

using test::FileBytes;
using test::PutFile;
using test::TempFolder;

std::vector<int> Pauses(int count, int ms) {
  return std::vector<int>(count, ms);
}

// Lowers one resource limit for the life of the object.
class ScopedLimit {
 public:
  ScopedLimit(int resource, rlim_t soft) : resource_(resource) {
    getrlimit(resource_, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    setrlimit(resource_, &lowered);
  }
  ~ScopedLimit() { setrlimit(resource_, &saved_); }

 private:
  int resource_;
  rlimit saved_{};
};

// The lowest free descriptor: a descriptor limit equal to it makes every open fail.
rlim_t NextFreeDescriptor() {
  const int fd = open("/dev/null", O_RDONLY);
  close(fd);
  return static_cast<rlim_t>(fd);
}

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override { testing::SetProgramFolderForTesting(folder.Path()); }
  void TearDown() override { testing::SetProgramFolderForTesting(""); }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  ScopedScriptedDesktop scripted;
  ScriptedDesktop& desktop = scripted.desktop;
  TempFolder folder;
};

TEST_F(FileLayer, PausesAreSlicedAndProcessEventsAfterEachSlice) {
  PauseWithMessages(0);
  PauseWithMessages(-40);
  EXPECT_TRUE(desktop.sleeps.empty());
  EXPECT_EQ(desktop.process_events_calls, 0);
  PauseWithMessages(2500);
  EXPECT_EQ(desktop.sleeps, (std::vector<int>{1000, 1000, 500}));
  EXPECT_EQ(desktop.process_events_calls, 3);
  PauseWithMessages(93);
  EXPECT_EQ(desktop.sleeps.back(), 93);
  EXPECT_EQ(desktop.process_events_calls, 4);
}

TEST_F(FileLayer, WholeFileRoundTripKeepsEveryByte) {
  const std::string path = folder.File("bytes.bin");
  const std::string content("a\0b\r\n\0\xff", 7);
  EXPECT_TRUE(WriteWholeFile(path, content));
  EXPECT_EQ(ReadWholeFile(path), content);
  EXPECT_EQ(FileBytes(path).size(), 7u);

  // Replacing with nothing leaves an empty file; reading it opens nothing.
  EXPECT_TRUE(WriteWholeFile(path, ""));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_EQ(ReadWholeFile(path), "");
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"bytes.bin"});
}

TEST_F(FileLayer, LeadingPlusAppendsAndEmptyAppendCreatesNothing) {
  const std::string path = folder.File("log.txt");
  EXPECT_TRUE(WriteWholeFile("+" + path, ""));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(WriteWholeFile("+" + path, "one\r\n"));
  EXPECT_TRUE(WriteWholeFile("+" + path, "two\r\n"));
  EXPECT_EQ(FileBytes(path), "one\r\ntwo\r\n");
  EXPECT_TRUE(WriteWholeFile(path, "new"));
  EXPECT_EQ(FileBytes(path), "new");
  EXPECT_TRUE(desktop.sleeps.empty());
}

TEST_F(FileLayer, MissingFileReadsEmptyWithoutOpeningOrPausing) {
  EXPECT_EQ(ReadWholeFile(folder.File("nothing.txt")), "");
  EXPECT_EQ(ReadWholeFile(""), "");
  EXPECT_TRUE(desktop.sleeps.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(FileLayer, OpenIsTriedTenTimesWithNinePauses) {
  EXPECT_EQ(OpenFileRetrying(folder.File("absent"), "rb"), nullptr);
  EXPECT_EQ(desktop.sleeps, Pauses(9, 93));
  EXPECT_EQ(desktop.process_events_calls, 9);
  EXPECT_TRUE(desktop.messages.empty());  // the callers report
}

TEST_F(FileLayer, AFileThatCannotBeOpenedIsReportedWithTheSystemText) {
  const std::string path = folder.File("held.txt");
  PutFile(path, "content");
  std::string read;
  bool written = true;
  // The undefined-behaviour checker needs a descriptor to vet a virtual call the
  // first time it sees it: make those calls while descriptors are still free.
  PauseWithMessages(1);
  ReportMessage("");
  desktop.sleeps.clear();
  desktop.messages.clear();
  {
    ScopedLimit no_more_files(RLIMIT_NOFILE, NextFreeDescriptor());
    read = ReadWholeFile(path);
    written = WriteWholeFile("+" + path, "more");
  }
  EXPECT_EQ(read, "");
  EXPECT_FALSE(written);
  EXPECT_EQ(desktop.sleeps, Pauses(18, 93));
  ASSERT_EQ(desktop.messages.size(), 2u);
  const std::string expected = "Could not Open " + path + "\r\nToo many open files";
  EXPECT_EQ(desktop.messages[0].text, expected);
  EXPECT_EQ(desktop.messages[1].text, expected);
  EXPECT_EQ(desktop.messages[0].caption, ApplicationTitle());
  EXPECT_EQ(FileBytes(path), "content");
}

TEST_F(FileLayer, FilesOfTwoGibibytesAreRefusedBeforeAnythingIsAllocated) {
  const std::string path = folder.File("huge.bin");
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sized = ftruncate(fd, off_t{1} << 31) == 0;
  close(fd);
  if (!sized) GTEST_SKIP() << "the temporary folder cannot hold a sparse 2 GiB file";
  EXPECT_EQ(FileSizeOf(path), std::int64_t{1} << 31);
  EXPECT_EQ(ReadWholeFile(path), "");
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text, "Not Enough Memory to Read " + path);
  EXPECT_TRUE(desktop.sleeps.empty());
}

TEST_F(FileLayer, AFailedReplaceLeavesTheOldFileAndNoTemporaryBehind) {
  const std::string path = folder.File("picture.bmp");
  const std::string old_content = "old bytes that must survive";
  PutFile(path, old_content);
  bool written = true;
  {
    // A file size limit makes the write stop part-way, as a full disk would.
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ScopedLimit small_files(RLIMIT_FSIZE, 4096);
    written = WriteWholeFile(path, std::string(100000, 'x'));
    std::signal(SIGXFSZ, previous);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(FileBytes(path), old_content);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"picture.bmp"});

  // A folder in the target's place: reported, and the folder stays a folder.
  const std::string dir = folder.File("taken");
  std::filesystem::create_directory(dir);
  std::filesystem::create_directory(dir + "/inside");
  EXPECT_FALSE(WriteWholeFile(dir, "abc"));
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/inside"));
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].text.rfind("Could not Open " + dir + "\r\n", 0), 0u);
  EXPECT_EQ(FolderEntries().size(), 2u);
}

TEST_F(FileLayer, ReplacingKeepsPermissionsAndWritesThroughSymbolicLinks) {
  const std::string real = folder.File("real.txt");
  const std::string link = folder.File("link.txt");
  PutFile(real, "before");
  chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, link);
  EXPECT_TRUE(WriteWholeFile(link, "after"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(FileBytes(real), "after");
  struct stat status {};
  ASSERT_EQ(stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST_F(FileLayer, OnlyRegularFilesAreOpenedAndNothingWaitsOnAPipe) {
  const std::string pipe = folder.File("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::string reason;
  EXPECT_EQ(OpenRegularFileForReading(pipe, reason), nullptr);
  EXPECT_EQ(reason, "not a regular file");
  EXPECT_EQ(OpenRegularFileForReading("/dev/null", reason), nullptr);
  EXPECT_EQ(reason, "not a regular file");
  EXPECT_EQ(OpenRegularFileForReading(folder.Path(), reason), nullptr);
  EXPECT_EQ(reason, "Is a directory");
  EXPECT_EQ(OpenRegularFileForReading(folder.File("absent"), reason), nullptr);
  EXPECT_EQ(reason, "No such file or directory");
  // A link to a regular file is as good as the file.
  PutFile(folder.File("plain"), "abc");
  std::filesystem::create_symlink("plain", folder.File("link"));
  std::FILE* stream = OpenRegularFileForReading(folder.File("link"), reason);
  ASSERT_NE(stream, nullptr);
  char got[4] = {};
  EXPECT_EQ(std::fread(got, 1, 3, stream), 3u);
  EXPECT_STREQ(got, "abc");
  std::fclose(stream);

  // The queries answer at once and reading gives nothing; a replacement is refused
  // without retries; an append with no reader at the other end fails instead of
  // waiting for one.
  EXPECT_TRUE(FileExistsRetrying(pipe));
  EXPECT_EQ(FileSizeOf(pipe), 0);
  EXPECT_EQ(ReadWholeFile(pipe), "");
  desktop.sleeps.clear();
  EXPECT_FALSE(WriteWholeFile(pipe, "x"));
  EXPECT_TRUE(desktop.sleeps.empty());
  EXPECT_FALSE(WriteWholeFile("+" + pipe, "x"));
  EXPECT_EQ(desktop.sleeps, Pauses(9, 93));
  ASSERT_EQ(desktop.messages.size(), 2u);
  EXPECT_EQ(desktop.messages[0].text, "Could not Open " + pipe + "\r\nnot a regular file");
  EXPECT_EQ(desktop.messages[1].text, "Could not Open " + pipe + "\r\nNo such device or address");
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

TEST_F(FileLayer, AFailedCloseIsLoggedAtOnceAndNeverRepeated) {
  EXPECT_EQ(CloseFileRetrying(nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.File("orvowebserve_msgs.log")));

  std::FILE* full = OpenFileRetrying("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::fputs("lost", full);
  EXPECT_NE(CloseFileRetrying(full), 0);
  EXPECT_TRUE(desktop.sleeps.empty());
  const std::string log = FileBytes(folder.File("orvowebserve_msgs.log"));
  EXPECT_NE(log.find("\r\nCannot Close File Handle\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Cannot Close File Handle"), log.rfind("Cannot Close File Handle"));
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(FileLayer, ALogThatCannotBeClosedDoesNotAskForAnotherEntry) {
  std::filesystem::create_symlink("/dev/full", folder.File("orvowebserve_msgs.log"));
  std::FILE* full = OpenFileRetrying("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::fputs("lost", full);
  EXPECT_NE(CloseFileRetrying(full), 0);
  // Buffered bytes that never reached the file make the write a failure.
  EXPECT_FALSE(WriteWholeFile("+" + folder.File("orvowebserve_msgs.log"), "entry"));
  EXPECT_TRUE(desktop.sleeps.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(FileLayer, SizeAndExistenceQueriesRetryOnlyWhatRetryingCanCure) {
  const std::string file = folder.File("eight.bin");
  PutFile(file, "12345678");
  EXPECT_EQ(FileSizeOf(file), 8);
  EXPECT_TRUE(FileExistsRetrying(file));
  EXPECT_EQ(FileSizeOf(""), 0);
  EXPECT_FALSE(FileExistsRetrying(""));
  // No such file, or a path through a file: one query each, no pause.
  EXPECT_EQ(FileSizeOf(folder.File("absent")), 0);
  EXPECT_FALSE(FileExistsRetrying(folder.File("absent")));
  EXPECT_EQ(FileSizeOf(file + "/child"), 0);
  EXPECT_FALSE(FileExistsRetrying(file + "/child"));
  EXPECT_TRUE(desktop.sleeps.empty());

  // An empty file is asked once more; a folder is not a file.
  PutFile(folder.File("empty"), "");
  EXPECT_EQ(FileSizeOf(folder.File("empty")), 0);
  EXPECT_EQ(desktop.sleeps, Pauses(1, 250));
  desktop.sleeps.clear();
  EXPECT_FALSE(FileExistsRetrying(folder.Path()));
  EXPECT_EQ(desktop.sleeps, Pauses(1, 250));
  desktop.sleeps.clear();

  // Any other failure is retried: a loop of links never resolves.
  std::filesystem::create_symlink("loop_b", folder.File("loop_a"));
  std::filesystem::create_symlink("loop_a", folder.File("loop_b"));
  EXPECT_EQ(FileSizeOf(folder.File("loop_a")), 0);
  EXPECT_EQ(desktop.sleeps, Pauses(9, 83));
  desktop.sleeps.clear();
  EXPECT_FALSE(FileExistsRetrying(folder.File("loop_a")));
  EXPECT_EQ(desktop.sleeps, Pauses(20, 183));
}

}  // namespace
}  // namespace zelk

// ---- Writes cut off by a kill -------------------------------------------------

namespace zelk {
namespace {

// The backups and records of in-place writes go to a cache folder of the test's.
class CutOffWrites : public FileLayer {
 protected:
  void SetUp() override {
    FileLayer::SetUp();
    const std::string path = cache.Path();
    setenv("XDG_CACHE_HOME", path.substr(0, path.size() - 1).c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CACHE_HOME");
    FileLayer::TearDown();
  }

  std::vector<std::string> CacheEntries() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(cache.Path() + "zelk-zoomer", ignored))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // In a child that kills itself once it has written `written` over the target:
  // the state a kill -9 mid-write leaves.
  static void WriteAndDie(const std::string& target, const std::string& written) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileReplacement replacement(target);
      if (replacement.File() == nullptr) _exit(3);
      std::fwrite(written.data(), 1, written.size(), replacement.File());
      std::fflush(replacement.File());
      raise(SIGKILL);
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended with " << status;
  }

  TempFolder cache;
};

TEST_F(CutOffWrites, AnInPlaceWriteCutOffIsPutBackByteForByteAtTheNextStart) {
  std::string old_content(300000, '\0');
  for (std::size_t i = 0; i < old_content.size(); ++i)
    old_content[i] = static_cast<char>(i * 131 % 251);
  const std::string target = folder.File("linked.png");
  PutFile(target, old_content);
  ASSERT_EQ(link(target.c_str(), folder.File("other-name.png").c_str()), 0);  // in place

  WriteAndDie(target, "partial new content");
  EXPECT_EQ(FileBytes(target), "partial new content");
  const std::vector<std::string> left = CacheEntries();
  ASSERT_EQ(left.size(), 2u) << "a backup and its record";

  EXPECT_TRUE(RestoreUnfinishedReplacements().empty());
  EXPECT_EQ(FileBytes(target), old_content);
  EXPECT_EQ(FileBytes(folder.File("other-name.png")), old_content);
  EXPECT_TRUE(CacheEntries().empty());
  // Nothing is left to do, and a second start changes nothing.
  PutFile(target, "changed by the user since");
  EXPECT_TRUE(RestoreUnfinishedReplacements().empty());
  EXPECT_EQ(FileBytes(target), "changed by the user since");
}

TEST_F(CutOffWrites, ATargetReplacedSinceIsLeftAndTheUserToldWhereTheOldContentIs) {
  const std::string target = folder.File("linked.bmp");
  PutFile(target, "old content");
  ASSERT_EQ(link(target.c_str(), folder.File("other.bmp").c_str()), 0);
  WriteAndDie(target, "new");
  // Another file takes the name before the program starts again.
  PutFile(folder.File("replacement"), "the user's own newer file");
  ASSERT_EQ(rename(folder.File("replacement").c_str(), target.c_str()), 0);

  const std::vector<std::string> problems = RestoreUnfinishedReplacements();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find(target), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("kept in " + cache.Path() + "zelk-zoomer/backup-"), std::string::npos)
      << problems[0];
  EXPECT_EQ(FileBytes(target), "the user's own newer file");
  const std::vector<std::string> left = CacheEntries();
  ASSERT_EQ(left.size(), 2u) << "the backup stays, and its record, marked kept";
  const std::string backup = cache.Path() + "zelk-zoomer/" + left[0];
  EXPECT_EQ(FileBytes(backup.substr(0, backup.rfind('.')) + ".tmp"), "old content");
  EXPECT_TRUE(RestoreUnfinishedReplacements().empty()) << "told once";
  EXPECT_EQ(CacheEntries().size(), 2u);

  // The start-up call shows the same through the desktop.
  ASSERT_EQ(rename(folder.File("other.bmp").c_str(), folder.File("again.bmp").c_str()), 0);
  ASSERT_EQ(link(target.c_str(), folder.File("other.bmp").c_str()), 0);
  WriteAndDie(target, "x");
  unlink(target.c_str());
  RecoverUnfinishedFileReplacements();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_NE(desktop.messages[0].text.find("kept in"), std::string::npos);
}

TEST_F(CutOffWrites, AWriteStillRunningIsLeftAlone) {
  const std::string target = folder.File("busy.png");
  PutFile(target, "old");
  ASSERT_EQ(link(target.c_str(), folder.File("busy-too.png").c_str()), 0);
  FileReplacement running(target);
  ASSERT_NE(running.File(), nullptr);
  ASSERT_TRUE(running.WritesInPlace());
  std::fputs("new, not yet complete", running.File());
  std::fflush(running.File());
  EXPECT_TRUE(RestoreUnfinishedReplacements().empty());
  EXPECT_EQ(FileBytes(target), "new, not yet complete");
  EXPECT_EQ(CacheEntries().size(), 2u);
  ASSERT_TRUE(running.Commit());
  EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(CutOffWrites, TemporaryFilesOfProcessesThatAreGoneAreRemovedAtTheNextWrite) {
  const std::string target = folder.File("converted.png");
  WriteAndDie(target, std::string(100000, 'p'));  // beside the target: a new file
  std::vector<std::string> entries = FolderEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].rfind(".zelk-", 0), 0u) << entries[0];

  // Left alone: one of this process's, one of a process that runs (pid 1), and one
  // without a pid in its name that is recent.
  const std::string own = ".zelk-" + std::to_string(getpid()) + "-AbCdEfGh.tmp";
  PutFile(folder.File(own), "mine");
  PutFile(folder.File(".zelk-1-AbCdEfGh.tmp"), "init's");
  PutFile(folder.File(".zelk-QwErTyUi.tmp"), "recent, owner unknown");
  PutFile(folder.File(".zelk-OlDfIlEs.tmp"), "old, owner unknown");
  const std::filesystem::file_time_type long_ago =
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  std::filesystem::last_write_time(folder.File(".zelk-OlDfIlEs.tmp"), long_ago);

  ASSERT_TRUE(WriteWholeFile(folder.File("next.txt"), "next write"));
  entries = FolderEntries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{".zelk-1-AbCdEfGh.tmp", own, ".zelk-QwErTyUi.tmp",
                                               "next.txt"}));
}

}  // namespace
}  // namespace zelk
