#include "codecs/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <system_error>

namespace zelk {
namespace {

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
  std::string s(6, 'x');
  for (char& c : s) c = kLetters[pick(generator)];
  return s;
}

// The folder of the target, so that the final rename stays on one file system,
// synced after the rename so the new name survives a crash. Best effort: some file
// systems cannot sync folders.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

SafeFileWriter::SafeFileWriter(std::string target)
    : target_(std::move(target)), real_path_(target_) {
  struct stat st {};
  if (lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replacing the link itself would cut it from its file: write where it points.
    if (char* resolved = realpath(target_.c_str(), nullptr)) {
      real_path_ = resolved;
      std::free(resolved);
    }
  }
  if (stat(real_path_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) Fail(EISDIR);
    had_target_ = true;
    target_mode_ = st.st_mode & 07777;
  }

  // Made with O_EXCL under a fresh name; mode 0666 lets the umask (and a folder's
  // default ACL) decide a new file's permissions, as for any other new file.
  const std::string stem = FolderPart(real_path_) + "." + NamePart(real_path_) + ".";
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_path_ = stem + RandomSuffix();
    fd = open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int err = errno;
    temp_path_.clear();
    Fail(err);
  }
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int err = errno;
    close(fd);
    Fail(err);
  }
}

SafeFileWriter::~SafeFileWriter() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

void SafeFileWriter::Fail(int err) {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    unlink(temp_path_.c_str());
    temp_path_.clear();
  }
  throw std::system_error(err != 0 ? err : EIO, std::generic_category(), "cannot write " + target_);
}

void SafeFileWriter::Commit() {
  if (file_ == nullptr) Fail(EBADF);
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) Fail(errno);
  const int fd = fileno(file_);
  if (had_target_ && fchmod(fd, target_mode_) != 0) Fail(errno);
  // EINVAL: the file system cannot sync this kind of file; nothing to wait for.
  if (fsync(fd) != 0 && errno != EINVAL) Fail(errno);
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) Fail(errno);
  if (std::rename(temp_path_.c_str(), real_path_.c_str()) != 0) Fail(errno);
  temp_path_.clear();
  SyncFolder(FolderPart(real_path_));
}

}  // namespace zelk
