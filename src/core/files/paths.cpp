#include "core/files/paths.h"

#include <filesystem>
#include <system_error>

namespace zelk {

bool SameFilePath(const std::string& a, const std::string& b) {
  std::error_code error;
  const bool same_file = std::filesystem::equivalent(a, b, error);
  if (!error) return same_file;
  return a == b;
}

}  // namespace zelk
