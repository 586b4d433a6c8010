#include "support/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

namespace zelk {
namespace {

// As many links as the kernel follows before it reports a loop.
constexpr int kMostLinkHops = 40;

class FileKindCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "file kind"; }
  std::string message(int) const override { return "not a regular file"; }
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows the links of the last name as an open would; a missing entry is fine (it
// will be created). 0 or the errno of the failure.
int FollowLinks(std::string& path) {
  for (int hops = 0;; ++hops) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(status.st_mode)) return 0;
    if (hops == kMostLinkHops) return ELOOP;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) >= link.size()) return ENAMETOOLONG;
    link.resize(static_cast<std::size_t>(length));
    if (link.front() == '/') {
      path = link;
    } else {
      path = FolderOf(path).append(link);
    }
  }
}

std::string UnguessableLetters() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
  std::string letters(8, 'x');
  for (char& c : letters) c = kLetters[pick(generator)];
  return letters;
}

// A new file of a fresh name, never one that was there before; -1 with errno set.
int CreateFresh(const std::string& prefix, mode_t mode, std::string& made) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = prefix + UnguessableLetters() + ".tmp";
    const int fd = open(made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  const int error = errno;
  made.clear();
  errno = error;
  return -1;
}

// The umask without changing it: changing it, even for a moment, would affect files
// that other threads create meanwhile.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

// An extended access list would not pass to a new file.
bool HasAccessList(const std::string& path) {
  return getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
}

// The user's cache folder first (a copy of a large image is better on disk than in
// a memory-backed /tmp), then the temporary folder.
int CreateBackupFile(std::string& made) {
  std::vector<std::string> prefixes;
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  std::string cache_folder;
  if (cache != nullptr && cache[0] == '/') {
    cache_folder = cache;
  } else if (home != nullptr && home[0] == '/') {
    cache_folder = std::string(home) + "/.cache";
  }
  if (!cache_folder.empty()) {
    mkdir(cache_folder.c_str(), 0700);
    const std::string own = cache_folder + "/zelk-zoomer";
    mkdir(own.c_str(), 0700);
    prefixes.push_back(own + "/backup-");
  }
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && tmp[0] == '/') prefixes.emplace_back(std::string(tmp) + "/zelk-backup-");
  prefixes.emplace_back("/tmp/zelk-backup-");
  int error = EACCES;
  for (const std::string& prefix : prefixes) {
    const int fd = CreateFresh(prefix, 0600, made);
    if (fd >= 0) return fd;
    error = errno;
  }
  errno = error;
  return -1;
}

// The whole content of `from` becomes the content of `to`; 0 or an errno.
int CopyContent(int from, int to) {
  std::vector<char> buffer(1 << 20);
  off_t offset = 0;
  for (;;) {
    const ssize_t got = pread(from, buffer.data(), buffer.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put =
          pwrite(to, buffer.data() + done, static_cast<std::size_t>(got - done), offset + done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return errno;
      done += put;
    }
    offset += got;
  }
  return ftruncate(to, offset) == 0 ? 0 : errno;
}

// EINVAL: the file system cannot sync this kind of file; nothing to wait for.
int Sync(int fd) {
  return fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

// After the rename, so the new name survives a crash. Best effort: some file systems
// cannot sync folders.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

std::error_code NotARegularFileError() {
  static const FileKindCategory category;
  return {1, category};
}

FileReplacement::FileReplacement(std::string target) : resolved_(std::move(target)) {
  struct stat status {};
  int error = resolved_.empty() ? ENOENT : FollowLinks(resolved_);
  const bool exists = error == 0 && stat(resolved_.c_str(), &status) == 0;
  if (error == 0 && !exists && errno != ENOENT) error = errno;
  if (error == 0 && exists) {
    if (S_ISDIR(status.st_mode)) {
      error = EISDIR;
    } else if (!S_ISREG(status.st_mode)) {
      error_ = NotARegularFileError();
      return;
    } else if (faccessat(AT_FDCWD, resolved_.c_str(), W_OK, AT_EACCESS) != 0) {
      // The kernel's own answer for this user: root may write a read-only file, as
      // a plain open would let it; anyone else is refused with the system's reason.
      error = errno;
    }
  }
  if (error != 0) {
    SetError(error);
  } else if (!exists) {
    TryBeside(nullptr);
  } else if (status.st_nlink > 1 || HasAccessList(resolved_) || !TryBeside(&status)) {
    StartInPlace();
  }
}

FileReplacement::~FileReplacement() {
  Abandon();
}

// True when done (started, or failed for good); false when the content must be
// written in place instead.
bool FileReplacement::TryBeside(const struct stat* old_status) {
  // Never more open than the old file, nor than owner-only for a new one, while the
  // content is incomplete.
  const mode_t create_mode = old_status != nullptr ? (old_status->st_mode & 0777) : 0600;
  const int fd = CreateFresh(FolderOf(resolved_) + ".zelk-", create_mode, temporary_);
  if (fd < 0) {
    if (old_status != nullptr && (errno == EACCES || errno == EPERM)) return false;
    SetError(errno);
    return true;
  }
  if (old_status != nullptr) {
    struct stat made {};
    const bool same_owner = fstat(fd, &made) == 0 && made.st_uid == old_status->st_uid &&
                            made.st_gid == old_status->st_gid;
    if (!same_owner && fchown(fd, old_status->st_uid, old_status->st_gid) != 0) {
      close(fd);
      unlink(temporary_.c_str());
      temporary_.clear();
      return false;
    }
    final_mode_ = old_status->st_mode & 07777;
  } else {
    final_mode_ = 0666 & ~CurrentUmask();
  }
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int error = errno;
    close(fd);
    SetError(error);
  }
  return true;
}

void FileReplacement::StartInPlace() {
  // Non-blocking, so an entry swapped for a pipe meanwhile cannot hold the open.
  const int fd = open(resolved_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return SetError(errno);
  struct stat status {};
  if (fstat(fd, &status) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    close(fd);
    return SetError(error);
  }
  if (!S_ISREG(status.st_mode)) {
    close(fd);
    error_ = NotARegularFileError();
    return;
  }
  const int backup_fd = CreateBackupFile(backup_);
  int error = backup_fd < 0 ? errno : CopyContent(fd, backup_fd);
  if (error == 0) error = Sync(backup_fd);
  if (backup_fd >= 0) close(backup_fd);
  if (error == 0) {
    undo_fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (undo_fd_ < 0) error = errno;
  }
  // Emptied first: an encoder that seeks back leaves no old bytes past its end.
  if (error == 0 && ftruncate(fd, 0) != 0) error = errno;
  if (error == 0 && (file_ = fdopen(fd, "wb")) == nullptr) error = errno;
  if (error != 0) {
    if (file_ == nullptr) close(fd);
    SetError(error);
  }
}

bool FileReplacement::Commit() {
  if (file_ == nullptr) {
    if (!error_) SetError(EBADF);
    return false;
  }
  errno = 0;
  int error = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) error = errno != 0 ? errno : EIO;
  const int fd = fileno(file_);
  if (error == 0 && !WritesInPlace() && fchmod(fd, final_mode_) != 0) error = errno;
  if (error == 0) error = Sync(fd);
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (error == 0 && !temporary_.empty()) {
    if (std::rename(temporary_.c_str(), resolved_.c_str()) != 0) {
      error = errno;
    } else {
      temporary_.clear();
      SyncFolder(FolderOf(resolved_));
    }
  }
  if (error != 0) {
    SetError(error);
    return false;
  }
  if (!backup_.empty()) unlink(backup_.c_str());
  backup_.clear();
  if (undo_fd_ >= 0) close(undo_fd_);
  undo_fd_ = -1;
  return true;
}

void FileReplacement::SetError(int error) {
  error_ = std::error_code(error != 0 ? error : EIO, std::generic_category());
  Abandon();
}

void FileReplacement::Abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  if (undo_fd_ >= 0 && !backup_.empty()) {
    const int backup_fd = open(backup_.c_str(), O_RDONLY | O_CLOEXEC);
    int error = backup_fd < 0 ? errno : CopyContent(backup_fd, undo_fd_);
    if (error == 0) error = Sync(undo_fd_);
    if (backup_fd >= 0) close(backup_fd);
    if (error == 0) {
      unlink(backup_.c_str());
    } else {
      kept_backup_ = backup_;
    }
  } else if (!backup_.empty()) {
    unlink(backup_.c_str());
  }
  backup_.clear();
  if (undo_fd_ >= 0) close(undo_fd_);
  undo_fd_ = -1;
}

}  // namespace zelk
