#pragma once
// Replaces a file only once its new content is completely on disk: the content goes
// to a temporary file beside the target, which is renamed over the target at the
// end. A failure at any step leaves the older file (if any) untouched and no
// temporary file behind.

#include <cstdio>
#include <string>

namespace zelk {

class SafeFileWriter {
 public:
  // Creates the temporary file in the target's folder. A target that is a symbolic
  // link is written through it (the link stays, its file is replaced). Throws
  // std::system_error carrying errno: "cannot write <target>: <reason>".
  explicit SafeFileWriter(std::string target);
  ~SafeFileWriter();
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Where to write the content; valid until Commit or destruction.
  std::FILE* File() const noexcept { return file_; }
  const std::string& Target() const noexcept { return target_; }
  const std::string& TemporaryPath() const noexcept { return temp_path_; }

  // Flushes, syncs and closes the temporary file, checking each step, then renames it
  // over the target. The target keeps its permissions when it existed; a new file
  // gets 0666 less the umask. Throws std::system_error as above; the temporary file
  // is then removed.
  void Commit();

 private:
  [[noreturn]] void Fail(int err);

  std::string target_;     // as given
  std::string real_path_;  // the file actually replaced
  std::string temp_path_;
  std::FILE* file_ = nullptr;
  bool had_target_ = false;
  unsigned target_mode_ = 0;
};

}  // namespace zelk
