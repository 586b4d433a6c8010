#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
// A text holds at most this many bytes; larger files are refused before anything is
// allocated or opened.
constexpr std::int64_t kLargestWholeFile = (std::int64_t{1} << 31) - 1;

void ReportOpenFailure(const std::string& name) {
  ReportMessage("Could not Open " + name + "\r\n" + LastSystemErrorText());
}

int CloseAfterWrite(std::FILE* stream, bool log_close_failures) {
  return log_close_failures ? CloseFileRetrying(stream)
                            : support_internal::CloseFileWithoutLogging(stream);
}

// A symbolic link is replaced where it points, so the link itself survives.
std::string ReplacementTarget(const std::string& name) {
  struct stat link_status {};
  if (lstat(name.c_str(), &link_status) != 0 || !S_ISLNK(link_status.st_mode)) return name;
  std::error_code error;
  const auto resolved = std::filesystem::weakly_canonical(name, error);
  return error ? name : resolved.string();
}

std::string TemporaryNameBeside(const std::string& target) {
  static unsigned counter = 0;
  // The folder part only: a long target name plus a suffix could exceed the limit
  // on one name's length.
  return PathPart(target) + ".zelk-" + std::to_string(getpid()) + "-" + std::to_string(++counter) +
         ".tmp";
}

bool AppendToFile(const std::string& name, const std::string& content, bool log_close_failures) {
  if (content.empty()) return true;
  std::FILE* stream = OpenFileRetrying(name, "ab");
  if (stream == nullptr) {
    ReportOpenFailure(name);
    return false;
  }
  const std::size_t written = std::fwrite(content.data(), 1, content.size(), stream);
  // Buffered bytes only reach the file at the close: a failed close lost them.
  const int closed = CloseAfterWrite(stream, log_close_failures);
  return written == content.size() && closed == 0;
}

bool ReplaceFile(const std::string& name, const std::string& content, bool log_close_failures) {
  const std::string target = ReplacementTarget(name);
  const std::string temporary = TemporaryNameBeside(target);
  // "x": never write into a file that happens to carry the temporary name.
  std::FILE* stream = OpenFileRetrying(temporary, "wbx");
  if (stream == nullptr) {
    ReportOpenFailure(name);
    return false;
  }
  struct stat old_status {};
  if (stat(target.c_str(), &old_status) == 0 && S_ISREG(old_status.st_mode)) {
    fchmod(fileno(stream), old_status.st_mode & 07777);
  }
  bool complete = std::fwrite(content.data(), 1, content.size(), stream) == content.size();
  complete = complete && std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
  complete = CloseAfterWrite(stream, log_close_failures) == 0 && complete;
  if (!complete) {
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int rename_error = errno;
    std::remove(temporary.c_str());
    errno = rename_error;
    ReportOpenFailure(name);
    return false;
  }
  return true;
}
}  // namespace

std::string ReadWholeFile(const std::string& name) {
  const std::int64_t size = FileSizeOf(name);
  if (size <= 0) return std::string();
  if (size > kLargestWholeFile) {
    ReportMessage("Not Enough Memory to Read " + name);
    return std::string();
  }
  std::FILE* stream = OpenFileRetrying(name, "rb");
  if (stream == nullptr) {
    ReportOpenFailure(name);
    return std::string();
  }
  std::string content;
  try {
    content.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    CloseFileRetrying(stream);
    ReportMessage("Not Enough Memory to Read " + name);
    return std::string();
  }
  const std::size_t got = std::fread(content.data(), 1, content.size(), stream);
  CloseFileRetrying(stream);
  content.resize(got);
  return content;
}

bool WriteWholeFile(const std::string& name, const std::string& content) {
  return support_internal::WriteWholeFileImpl(name, content, /*log_close_failures=*/true);
}

namespace support_internal {
bool WriteWholeFileImpl(const std::string& name, const std::string& content,
                        bool log_close_failures) {
  if (!name.empty() && name.front() == '+') {
    return AppendToFile(name.substr(1), content, log_close_failures);
  }
  return ReplaceFile(name, content, log_close_failures);
}
}  // namespace support_internal

}  // namespace zelk
