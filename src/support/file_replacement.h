#pragma once
// Replaces a file's content so that a failure at any step leaves the old content.
//
// Normally the new content goes to a temporary file beside the target, made with the
// target's permissions and owner, which takes the target's name once complete; it is
// named after the writing process and held locked, so one left by a killed process
// can be told from one being written. Where
// that would change more than the content, or cannot be done where a plain write
// could, the file is written in place behind a copy of its old content kept in the
// user's cache folder, and the copy is put back when the write fails: a folder that
// takes no new entries, a file with other hard links (they must all see the new
// content), an owner the temporary file cannot be given, an access list. Before the
// first byte of the target changes, a record of the write (target, backup, state)
// is synced beside the backup, so that a write cut off by a kill or a crash is put
// back at the next start (RestoreUnfinishedReplacements).

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace zelk {

// The error for an existing entry that is neither a folder nor a regular file (a
// pipe, a device, a socket): its message is "not a regular file".
std::error_code NotARegularFileError();

// Finds the records of in-place writes that were cut off (the program killed or
// the machine stopped mid-write; see FileReplacement) and puts each target's old
// content back byte for byte from its backup. Records whose writer still runs are
// left alone. Returns, for each target that could not be put back, what the user
// must know (where its old content is kept). RecoverUnfinishedFileReplacements in
// support.h shows these; the program calls it at start.
std::vector<std::string> RestoreUnfinishedReplacements();

// Removes the temporary files (".zelk-<pid>-<letters>.tmp") in folder (a path
// ending in "/", or "" for the current folder) that were left by writes whose
// process is gone: those no process holds locked whose owner no longer runs, and
// those without an owner in their names after an hour. Every write beside a
// target does this for the target's folder first.
void RemoveAbandonedTemporaries(const std::string& folder);

class FileReplacement {
 public:
  // Prepares the replacement. Symbolic links are followed as an open follows them (a
  // dangling one names the file to create; a loop fails). Refused, with File() null
  // and Error() saying why, wherever a plain open for writing would be refused, and
  // for folders and entries that are not regular files.
  explicit FileReplacement(std::string target);
  // Without a successful Commit the old content stays (or is put back).
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Where the new content goes; null once committed or failed.
  std::FILE* File() const noexcept { return file_; }
  // Flushes, syncs and closes, checking each step, then puts the content in place.
  // False on failure, with Error() set and the old content kept.
  bool Commit();

  std::error_code Error() const noexcept { return error_; }
  // The file that is replaced: the target with its symbolic links followed.
  const std::string& ResolvedTarget() const noexcept { return resolved_; }
  // The temporary file beside the target; empty when writing in place.
  const std::string& TemporaryPath() const noexcept { return temporary_; }
  bool WritesInPlace() const noexcept { return undo_fd_ >= 0; }
  // Set only when a failed in-place write could not be undone: the old content is
  // still in this file.
  const std::string& KeptBackup() const noexcept { return kept_backup_; }

 private:
  bool TryBeside(const struct stat* old_status);
  void StartInPlace();
  int WriteRecord(const struct stat& target);
  void RemoveRecord();
  void Abandon();
  void SetError(int error);

  std::string resolved_;
  std::string temporary_;
  std::string backup_;
  std::string kept_backup_;
  std::FILE* file_ = nullptr;
  int undo_fd_ = -1;    // in place: a second descriptor of the target, to put the old content back
  std::string record_;  // in place: the record of the write, beside the backup
  int record_fd_ = -1;  // held (and locked) while the write runs
  std::string kept_record_text_;  // what the record becomes when its backup must stay
  mode_t final_mode_ = 0;
  std::error_code error_;
};

}  // namespace zelk
