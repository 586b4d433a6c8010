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
  std::FILE* stream = std::fopen(name.c_str(), stream_mode.c_str());
  int last_error = errno;
  for (int repeats = 0; stream == nullptr && repeats < kOpenRepeats; ++repeats) {
    PauseWithMessages(kOpenPauseMs);
    stream = std::fopen(name.c_str(), stream_mode.c_str());
    last_error = errno;
  }
  // The pause processes events, which may touch errno; callers describe the open.
  if (stream == nullptr) errno = last_error;
  return stream;
}

int CloseFileRetrying(std::FILE* stream) {
  return CloseStream(stream, true);
}

std::string LastSystemErrorText() {
  return TrimControlChars(std::generic_category().message(errno));
}

namespace support_internal {
int CloseFileWithoutLogging(std::FILE* stream) {
  return CloseStream(stream, false);
}
}  // namespace support_internal

}  // namespace zelk
