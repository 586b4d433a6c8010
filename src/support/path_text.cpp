#include <algorithm>

#include "support/support_internal.h"

namespace zelk::support_internal {

bool IsPathDelimiter(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

namespace {
std::string::size_type LastDelimiter(const std::string& path) {
  for (auto i = path.size(); i > 0; --i) {
    if (IsPathDelimiter(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}
}  // namespace

std::string PathPartOf(const std::string& path) {
  const auto at = LastDelimiter(path);
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string FileNamePartOf(const std::string& path) {
  const auto at = LastDelimiter(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string WithoutExtension(const std::string& file_name) {
  const auto dot = file_name.rfind('.');
  const auto delimiter = LastDelimiter(file_name);
  if (dot == std::string::npos) return file_name;
  if (delimiter != std::string::npos && dot < delimiter) return file_name;
  return file_name.substr(0, dot);
}

std::string AsciiLower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return text;
}

}  // namespace zelk::support_internal
