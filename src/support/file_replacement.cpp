#include "support/file_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// Temporary files and backups are named <prefix><pid>-<letters><suffix> and held
// under an exclusive lock while their owner writes them: a file that nobody locks
// and whose process is gone was left by a program that was killed, and may go.
std::string OwnedName(const std::string& prefix, const char* suffix) {
  return prefix + std::to_string(getpid()) + "-" + UnguessableLetters() + suffix;
}

// A new file of a fresh name, never one that was there before, locked; -1 with
// errno set.
int CreateFresh(const std::string& prefix, mode_t mode, std::string& made,
                const char* suffix = ".tmp") {
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = OwnedName(prefix, suffix);
    const int fd = open(made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) {
      flock(fd, LOCK_EX | LOCK_NB);  // a fresh file: nobody else holds it
      return fd;
    }
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

// Where backups go: the user's cache folder first (a copy of a large image is
// better on disk than in a memory-backed /tmp), then the temporary folder. Each is
// a folder and the start of the names in it. With `make`, the cache folder is
// created where missing.
std::vector<std::string> BackupPrefixes(bool make) {
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
    const std::string own = cache_folder + "/zelk-zoomer";
    if (make) {
      mkdir(cache_folder.c_str(), 0700);
      mkdir(own.c_str(), 0700);
    }
    prefixes.push_back(own + "/backup-");
  }
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && tmp[0] == '/') prefixes.emplace_back(std::string(tmp) + "/zelk-backup-");
  prefixes.emplace_back("/tmp/zelk-backup-");
  return prefixes;
}

int CreateBackupFile(std::string& made) {
  int error = EACCES;
  for (const std::string& prefix : BackupPrefixes(true)) {
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

// ---- The record of an in-place write ----------------------------------------
//
// Written beside the backup, and synced, before the first byte of the target
// changes; removed once the write is complete or undone. Its owner holds it locked
// while it writes. A record that nobody locks tells of a write that was cut off:
// the next start puts the backup back. Paths are byte strings, so each is given
// with its length.

constexpr char kRecordHeading[] = "zelk-zoomer in-place write 1\n";
constexpr char kRecordSuffix[] = ".record";

struct Record {
  long long pid = 0;
  std::string state;
  std::string target;
  std::string backup;
  unsigned long long device = 0, inode = 0, size = 0;
};

void PutField(std::string& text, const char* name, const std::string& value) {
  text += name;
  text += ' ' + std::to_string(value.size()) + '\n';
  text += value;
  text += '\n';
}

std::string RecordText(const Record& record) {
  std::string text = kRecordHeading;
  PutField(text, "state", record.state);
  PutField(text, "pid", std::to_string(record.pid));
  PutField(text, "target", record.target);
  PutField(text, "backup", record.backup);
  PutField(text, "device", std::to_string(record.device));
  PutField(text, "inode", std::to_string(record.inode));
  PutField(text, "size", std::to_string(record.size));
  return text;
}

bool TakeField(const std::string& text, std::size_t& at, const char* name, std::string& value) {
  const std::string start = std::string(name) + ' ';
  if (text.compare(at, start.size(), start) != 0) return false;
  at += start.size();
  const std::size_t end = text.find('\n', at);
  if (end == std::string::npos || end == at || end - at > 9) return false;
  const std::size_t length = std::strtoul(text.c_str() + at, nullptr, 10);
  at = end + 1;
  if (text.size() < at + length + 1 || text[at + length] != '\n') return false;
  value = text.substr(at, length);
  at += length + 1;
  return true;
}

bool ParseRecord(const std::string& text, Record& record) {
  std::size_t at = sizeof kRecordHeading - 1;
  if (text.compare(0, at, kRecordHeading) != 0) return false;
  std::string pid, device, inode, size;
  if (!TakeField(text, at, "state", record.state) || !TakeField(text, at, "pid", pid) ||
      !TakeField(text, at, "target", record.target) ||
      !TakeField(text, at, "backup", record.backup) || !TakeField(text, at, "device", device) ||
      !TakeField(text, at, "inode", inode) || !TakeField(text, at, "size", size))
    return false;
  record.pid = std::atoll(pid.c_str());
  record.device = std::strtoull(device.c_str(), nullptr, 10);
  record.inode = std::strtoull(inode.c_str(), nullptr, 10);
  record.size = std::strtoull(size.c_str(), nullptr, 10);
  return !record.target.empty() && !record.backup.empty();
}

// A record whose backup could not be put back, the user having been told where
// it is: kept, with its backup, so that nothing takes the backup for abandoned.
std::string KeptRecordText(Record record) {
  record.state = "kept";
  return RecordText(record);
}

// The record beside a backup: the same name with ".record" for ".tmp".
std::string RecordPathFor(const std::string& backup) {
  return backup.substr(0, backup.size() - 4) + kRecordSuffix;
}

// Writes the whole text at the start of fd and syncs it; 0 or an errno.
int PutWhole(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t put =
        pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    done += static_cast<std::size_t>(put);
  }
  if (ftruncate(fd, static_cast<off_t>(text.size())) != 0) return errno;
  return Sync(fd);
}

bool ProcessRuns(long long pid) {
  if (pid <= 0 || pid > INT_MAX) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The pid in a name <prefix><pid>-<letters>...; 0 when there is none (names from
// before pids were part of them).
long long PidInName(const std::string& name, std::size_t prefix_length) {
  std::size_t at = prefix_length;
  long long pid = 0;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9' && at - prefix_length < 10)
    pid = pid * 10 + (name[at++] - '0');
  return at < name.size() && name[at] == '-' && at > prefix_length ? pid : 0;
}

bool EndsWith(const std::string& text, const char* end) {
  const std::size_t n = std::strlen(end);
  return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// Temporary files without a pid in their names are taken as abandoned only once
// they have not changed for this long.
constexpr time_t kUnnamedOwnerAgeSeconds = 3600;

// Removes path when it is a regular file that no process holds locked, whose
// owner (from its name) no longer runs; files without an owner in their names
// only when old. The lock is taken before the look at the owner, and the entry
// is checked to be the file locked, so a file being written is never removed.
void RemoveIfAbandoned(const std::string& path, long long owner) {
  if (owner == getpid()) return;
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return;
  struct stat held {
  }, named{};
  const bool abandoned =
      fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      (owner > 0 ? !ProcessRuns(owner) : time(nullptr) - held.st_mtime > kUnnamedOwnerAgeSeconds) &&
      lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
      named.st_ino == held.st_ino;
  if (abandoned) unlink(path.c_str());
  close(fd);
}

// The entries of a folder whose names start with `start` and end with `end`.
std::vector<std::string> NamesIn(const std::string& folder, const std::string& start,
                                 const char* end) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > start.size() && name.compare(0, start.size(), start) == 0 &&
        EndsWith(name, end))
      names.push_back(name);
  }
  closedir(dir);
  return names;
}

constexpr char kTemporaryStart[] = ".zelk-";

// Puts the backup a record names back into its target; "" when done (or when
// nothing needed doing), else what the user must know.
std::string RestoreFromRecord(const Record& record) {
  const std::string kept = " Its old content is kept in " + record.backup + ".";
  const int backup_fd = open(record.backup.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  struct stat backup_status {};
  if (backup_fd < 0 || fstat(backup_fd, &backup_status) != 0 ||
      static_cast<unsigned long long>(backup_status.st_size) != record.size) {
    if (backup_fd >= 0) close(backup_fd);
    return "Writing " + record.target +
           " was cut off, and the copy of its old content could not be found complete in " +
           record.backup + ".";
  }
  const int target_fd =
      open(record.target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
  struct stat target_status {};
  std::string problem;
  if (target_fd < 0) {
    problem = "Writing " + record.target + " was cut off, and it cannot be opened to put its " +
              "old content back: " + std::strerror(errno) + "." + kept;
  } else if (fstat(target_fd, &target_status) != 0 ||
             static_cast<unsigned long long>(target_status.st_dev) != record.device ||
             static_cast<unsigned long long>(target_status.st_ino) != record.inode) {
    problem = "Writing " + record.target +
              " was cut off, and another file has taken its place since, so its old content " +
              "was not put back." + kept;
  } else {
    int error = CopyContent(backup_fd, target_fd);
    if (error == 0) error = Sync(target_fd);
    if (error != 0)
      problem = "Writing " + record.target + " was cut off, and its old content could not be " +
                "put back: " + std::strerror(error) + "." + kept;
  }
  if (target_fd >= 0) close(target_fd);
  close(backup_fd);
  return problem;
}

}  // namespace

std::vector<std::string> RestoreUnfinishedReplacements() {
  std::vector<std::string> problems;
  for (const std::string& prefix : BackupPrefixes(false)) {
    const std::string folder = FolderOf(prefix);
    const std::string start = prefix.substr(folder.size());
    for (const std::string& name : NamesIn(folder, start, kRecordSuffix)) {
      const std::string path = folder + name;
      const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      struct stat held {
      }, named{};
      // Locked: its writer is still at work. Gone or replaced once the lock was
      // had: another start has dealt with it.
      if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &held) != 0 ||
          lstat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
          held.st_dev != named.st_dev) {
        close(fd);
        continue;
      }
      std::string text(static_cast<std::size_t>(std::min<off_t>(held.st_size, 1 << 16)), '\0');
      const ssize_t got = pread(fd, text.data(), text.size(), 0);
      text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
      Record record;
      const std::string backup = path.substr(0, path.size() - std::strlen(kRecordSuffix)) + ".tmp";
      if (!ParseRecord(text, record) || record.backup != backup) {
        // Cut off while the record itself was written: the target had not been
        // touched yet.
        unlink(backup.c_str());
        unlink(path.c_str());
      } else if (record.state == "writing") {
        const std::string problem = RestoreFromRecord(record);
        if (problem.empty()) {
          unlink(record.backup.c_str());
          unlink(path.c_str());
        } else {
          PutWhole(fd, KeptRecordText(record));
          problems.push_back(problem);
        }
      }
      close(fd);
    }
    // Backups of writes cut off before their records were written.
    for (const std::string& name : NamesIn(folder, start, ".tmp")) {
      const std::string path = folder + name;
      struct stat status {};
      if (lstat(RecordPathFor(path).c_str(), &status) == 0) continue;
      const long long owner = PidInName(name, start.size());
      if (owner > 0) RemoveIfAbandoned(path, owner);
    }
  }
  return problems;
}

void RemoveAbandonedTemporaries(const std::string& folder) {
  for (const std::string& name : NamesIn(folder, kTemporaryStart, ".tmp"))
    RemoveIfAbandoned((folder.empty() ? std::string() : folder) + name,
                      PidInName(name, sizeof kTemporaryStart - 1));
}

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
  RemoveAbandonedTemporaries(FolderOf(resolved_));
  const int fd = CreateFresh(FolderOf(resolved_) + kTemporaryStart, create_mode, temporary_);
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
  if (error == 0) error = WriteRecord(status);
  // Emptied first: an encoder that seeks back leaves no old bytes past its end.
  if (error == 0 && ftruncate(fd, 0) != 0) error = errno;
  if (error == 0 && (file_ = fdopen(fd, "wb")) == nullptr) error = errno;
  if (error != 0) {
    if (file_ == nullptr) close(fd);
    SetError(error);
  }
}

int FileReplacement::WriteRecord(const struct stat& target) {
  Record record;
  record.pid = getpid();
  record.state = "writing";
  record.target = resolved_;
  record.backup = backup_;
  record.device = static_cast<unsigned long long>(target.st_dev);
  record.inode = static_cast<unsigned long long>(target.st_ino);
  record.size = static_cast<unsigned long long>(target.st_size);
  record_ = RecordPathFor(backup_);
  record_fd_ = open(record_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (record_fd_ < 0) {
    record_.clear();
    return errno;
  }
  // Locked before it says anything, so no start-up takes it for an abandoned one.
  flock(record_fd_, LOCK_EX | LOCK_NB);
  kept_record_text_ = KeptRecordText(record);
  const int error = PutWhole(record_fd_, RecordText(record));
  if (error == 0) SyncFolder(FolderOf(record_));
  return error;
}

void FileReplacement::RemoveRecord() {
  // The record goes before the backup: a record without its backup would send the
  // next start looking for it.
  if (!record_.empty()) unlink(record_.c_str());
  record_.clear();
  if (record_fd_ >= 0) close(record_fd_);
  record_fd_ = -1;
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
  RemoveRecord();
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
    // Undone or not, the user learns of it now (a backup that could not be put
    // back is named in the error), so the next start has nothing to do.
    if (error == 0) {
      RemoveRecord();
      unlink(backup_.c_str());
    } else {
      kept_backup_ = backup_;
      if (record_fd_ >= 0) PutWhole(record_fd_, kept_record_text_);
      record_.clear();  // stays, with the backup
    }
  } else if (!backup_.empty()) {
    unlink(backup_.c_str());
  }
  RemoveRecord();
  backup_.clear();
  if (undo_fd_ >= 0) close(undo_fd_);
  undo_fd_ = -1;
}

}  // namespace zelk
