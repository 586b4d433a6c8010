#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <system_error>

#include "support/file_replacement.h"
#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
// A text holds at most this many bytes; larger files are refused before anything is
// allocated or opened.
constexpr std::int64_t kLargestWholeFile = (std::int64_t{1} << 31) - 1;

void ReportOpenFailure(const std::string& name, const std::string& reason) {
  ReportMessage("Could not Open " + name + "\r\n" + reason);
}

int CloseAfterWrite(std::FILE* stream, bool log_close_failures) {
  return log_close_failures ? CloseFileRetrying(stream)
                            : support_internal::CloseFileWithoutLogging(stream);
}

// Without waiting: a pipe in the log's place with no reader fails at once instead of
// holding the program.
std::FILE* OpenForAppending(const std::string& name) {
  const int fd =
      open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* stream = nullptr;
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) stream = fdopen(fd, "ab");
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

bool AppendToFile(const std::string& name, const std::string& content, bool log_close_failures) {
  if (content.empty()) return true;
  std::FILE* stream =
      support_internal::OpenRepeatedly([&](bool&) { return OpenForAppending(name); });
  if (stream == nullptr) {
    ReportOpenFailure(name, LastSystemErrorText());
    return false;
  }
  const std::size_t written = std::fwrite(content.data(), 1, content.size(), stream);
  // Buffered bytes only reach the file at the close: a failed close lost them.
  const int closed = CloseAfterWrite(stream, log_close_failures);
  return written == content.size() && closed == 0;
}

bool ReplaceFile(const std::string& name, const std::string& content) {
  std::unique_ptr<FileReplacement> replacement;
  support_internal::OpenRepeatedly([&](bool& incurable) {
    replacement.reset();  // the previous attempt's leftovers go first
    replacement = std::make_unique<FileReplacement>(name);
    const std::error_code error = replacement->Error();
    incurable = error == NotARegularFileError() || error == std::errc::is_a_directory;
    return replacement->File();
  });
  std::FILE* stream = replacement->File();
  if (stream == nullptr) {
    ReportOpenFailure(name, TrimControlChars(replacement->Error().message()));
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), stream) == content.size();
  const bool committed = replacement->Commit();
  if (!replacement->KeptBackup().empty()) {
    ReportMessage("Could not restore " + name + "\r\nIts old content is kept in " +
                  replacement->KeptBackup());
  }
  return written && committed;
}
}  // namespace

std::string ReadWholeFile(const std::string& name) {
  const std::int64_t size = FileSizeOf(name);
  if (size <= 0) return std::string();
  if (size > kLargestWholeFile) {
    ReportMessage("Not Enough Memory to Read " + name);
    return std::string();
  }
  std::string reason;
  std::FILE* stream = support_internal::OpenRepeatedly([&](bool& incurable) {
    return support_internal::OpenRegularFileOnce(name, reason, incurable);
  });
  if (stream == nullptr) {
    ReportOpenFailure(name, reason);
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
  return ReplaceFile(name, content);
}
}  // namespace support_internal

void RecoverUnfinishedFileReplacements() {
  for (const std::string& problem : RestoreUnfinishedReplacements()) ReportMessage(problem);
}

}  // namespace zelk
