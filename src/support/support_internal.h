#pragma once
// Helpers shared by the support library's own source files; not for other modules.

#include <cstdio>
#include <string>

namespace zelk::support_internal {

// The close used for the message log itself: never writes a log entry, so a log
// file that cannot be closed cannot ask for another log entry without end.
int CloseFileWithoutLogging(std::FILE* stream);
bool WriteWholeFileImpl(const std::string& name, const std::string& content,
                        bool log_close_failures);

}  // namespace zelk::support_internal
