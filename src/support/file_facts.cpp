#include <sys/stat.h>

#include <cerrno>

#include "support/support.h"

namespace zelk {

namespace {
// The two errors that retrying cannot cure: nothing by that name, or a path through
// something that is not a folder.
bool IsNotThere(int error) {
  return error == ENOENT || error == ENOTDIR;
}

// One status query; errno is 0 after a success, so it always describes this query.
bool QueryStatus(const std::string& path, struct stat& status) {
  errno = 0;
  return stat(path.c_str(), &status) == 0;
}
}  // namespace

std::int64_t FileSizeOf(const std::string& path) {
  if (path.empty()) return 0;
  struct stat status {};
  bool found = true;
  for (int attempts = 1; !QueryStatus(path, status); ++attempts) {
    if (IsNotThere(errno) || attempts >= 10) {
      found = false;
      break;
    }
    PauseWithMessages(83);
  }
  std::int64_t size = found ? static_cast<std::int64_t>(status.st_size) : 0;
  // A file that is being written may not have its bytes yet: look once more.
  if (found && size == 0) {
    PauseWithMessages(250);
    if (QueryStatus(path, status)) size = status.st_size;
  }
  return size;
}

bool FileExistsRetrying(const std::string& path) {
  if (path.empty()) return false;
  struct stat status {};
  for (int attempts = 1; !QueryStatus(path, status); ++attempts) {
    if (IsNotThere(errno) || attempts >= 21) return false;
    PauseWithMessages(183);
  }
  if (!S_ISDIR(status.st_mode)) return true;
  // A folder: asked once more, in case it was being replaced by a file.
  PauseWithMessages(250);
  return QueryStatus(path, status) && !S_ISDIR(status.st_mode);
}

}  // namespace zelk
