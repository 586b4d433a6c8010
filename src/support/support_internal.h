#pragma once
// Helpers shared by the support library's own source files; not for other modules.

#include <cstdio>
#include <functional>
#include <string>

namespace zelk::support_internal {

// Calls open up to 10 times 93 ms apart (processing events in the pauses) while it
// gives nullptr and has not set `incurable`. errno is that of the last call.
std::FILE* OpenRepeatedly(const std::function<std::FILE*(bool& incurable)>& open);
// OpenRegularFileForReading, also telling whether the entry was of the wrong kind
// (which no retry can cure).
std::FILE* OpenRegularFileOnce(const std::string& name, std::string& reason, bool& wrong_kind);

// The close used for the message log itself: never writes a log entry, so a log
// file that cannot be closed cannot ask for another log entry without end.
int CloseFileWithoutLogging(std::FILE* stream);
bool WriteWholeFileImpl(const std::string& name, const std::string& content,
                        bool log_close_failures);

}  // namespace zelk::support_internal
