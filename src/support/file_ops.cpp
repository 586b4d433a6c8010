#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/desktop.h"
#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
constexpr int kOpenRepeats = 9;
constexpr int kOpenPauseMs = 93;

std::string StreamMode(const std::string& mode) {
#ifdef __GLIBC__
  // Close-on-exec, so no child process inherits our files.
  return mode + "e";
#else
  return mode;
#endif
}

int CloseStream(std::FILE* stream, bool log_failure) {
  if (stream == nullptr) return 0;
  // fclose releases the stream whatever it reports, so it is called exactly once:
  // a second call would act on a freed stream. Repeating the flush first would not
  // help either: after a failed write the C library drops the buffered bytes, and the
  // next flush "succeeds" with them lost. So a failure is logged at once.
  const int result = std::fclose(stream) == 0 ? 0 : EOF;
  if (result != 0 && log_failure) AppendMessageLog("Cannot Close File Handle");
  return result;
}
}  // namespace

void PauseWithMessages(int milliseconds) {
  Desktop& desktop = CurrentDesktop();
  for (int remaining = milliseconds; remaining > 0; remaining -= 1000) {
    desktop.SleepMs(std::min(remaining, 1000));
    desktop.ProcessEvents();
  }
}

std::FILE* OpenFileRetrying(const std::string& name, const std::string& mode) {
  const std::string stream_mode = StreamMode(mode);
  return support_internal::OpenRepeatedly(
      [&](bool&) { return std::fopen(name.c_str(), stream_mode.c_str()); });
}

std::FILE* OpenRegularFileForReading(const std::string& name, std::string& reason) {
  bool wrong_kind = false;
  return support_internal::OpenRegularFileOnce(name, reason, wrong_kind);
}

int CloseFileRetrying(std::FILE* stream) {
  return CloseStream(stream, true);
}

std::string LastSystemErrorText() {
  return TrimControlChars(std::generic_category().message(errno));
}

namespace support_internal {
std::FILE* OpenRepeatedly(const std::function<std::FILE*(bool& incurable)>& open) {
  bool incurable = false;
  std::FILE* stream = open(incurable);
  int last_error = errno;
  for (int repeats = 0; stream == nullptr && !incurable && repeats < kOpenRepeats; ++repeats) {
    PauseWithMessages(kOpenPauseMs);
    stream = open(incurable);
    last_error = errno;
  }
  // The pause processes events, which may touch errno; callers describe the open.
  if (stream == nullptr) errno = last_error;
  return stream;
}

std::FILE* OpenRegularFileOnce(const std::string& name, std::string& reason, bool& wrong_kind) {
  reason.clear();
  wrong_kind = false;
  const auto refuse = [&](const struct stat& status) -> std::FILE* {
    wrong_kind = true;
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    reason = S_ISDIR(status.st_mode) ? LastSystemErrorText() : "not a regular file";
    return nullptr;
  };
  const auto fail = [&]() -> std::FILE* {
    reason = LastSystemErrorText();
    return nullptr;
  };
  // Asked before opening: the open of a pipe waits for a writer, and opening a device
  // can do things of its own.
  struct stat status {};
  if (stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return refuse(status);
  // Without waiting, and asked again of what was opened: the entry may have been
  // swapped for a pipe in between.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fail();
  std::FILE* stream = nullptr;
  const bool known =
      fstat(fd, &status) == 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  if (known && !S_ISREG(status.st_mode)) {
    refuse(status);
  } else if (!known || (stream = fdopen(fd, "rb")) == nullptr) {
    fail();
  }
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

int CloseFileWithoutLogging(std::FILE* stream) {
  return CloseStream(stream, false);
}
}  // namespace support_internal

}  // namespace zelk
