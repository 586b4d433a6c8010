#include "codecs/safe_file_writer.h"

#include <system_error>

namespace zelk {

SafeFileWriter::SafeFileWriter(std::string target)
    : target_(std::move(target)), replacement_(target_) {
  if (replacement_.File() == nullptr) Fail();
}

void SafeFileWriter::Commit() {
  if (!replacement_.Commit()) Fail();
}

void SafeFileWriter::Fail() const {
  std::string what = "cannot write " + target_;
  // Only when a failed write in place could not be undone.
  if (!replacement_.KeptBackup().empty())
    what += " (its old content is kept in " + replacement_.KeptBackup() + ")";
  throw std::system_error(replacement_.Error(), what);
}

}  // namespace zelk
