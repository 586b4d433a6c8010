#pragma once
// Replaces a file only once its new content is completely on disk; a failure at any
// step leaves the older file (if any) as it was and no temporary file behind. See
// FileReplacement for where the content goes meanwhile.

#include <cstdio>
#include <string>

#include "support/file_replacement.h"

namespace zelk {

class SafeFileWriter {
 public:
  // Refused wherever a plain open for writing would be refused, and for folders and
  // entries that are not regular files. A symbolic link is written through (the link
  // stays, its file gets the content). Throws std::system_error carrying the reason:
  // "cannot write <target>: <reason>".
  explicit SafeFileWriter(std::string target);
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Where to write the content; valid until Commit or destruction.
  std::FILE* File() const noexcept { return replacement_.File(); }
  const std::string& Target() const noexcept { return target_; }
  // The temporary file beside the target; empty when the target is written in place.
  const std::string& TemporaryPath() const noexcept { return replacement_.TemporaryPath(); }

  // Flushes, syncs and closes, checking each step, then puts the content in place.
  // The target keeps its permissions and owner when it existed; a new file gets 0666
  // less the umask. Throws std::system_error as above, the old content kept.
  void Commit();

 private:
  [[noreturn]] void Fail() const;

  std::string target_;  // as given
  FileReplacement replacement_;
};

}  // namespace zelk
