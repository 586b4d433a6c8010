#include "core/files/file_spec.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace zelk {

namespace {

bool IsBlankOrControl(unsigned char c) {
  return c <= ' ' || c == 0x7F;
}

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankOrControl(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && IsBlankOrControl(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// Drops "." components and collapses repeated "/" of an absolute path: both are
// pure spelling on POSIX. ".." stays, since through a symlink it need not lead to
// the textual parent. A path that ended in a folder ("/a/." or "/a/") keeps a
// trailing "/".
std::string WithoutDotComponents(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  std::size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '/') {
      if (out.empty() || out.back() != '/') out.push_back('/');
      ++i;
      continue;
    }
    std::size_t end = path.find('/', i);
    if (end == std::string::npos) end = path.size();
    if (!(end - i == 1 && path[i] == '.')) out.append(path, i, end - i);
    i = end;
  }
  return out;
}

bool HasWildcard(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

}  // namespace

std::string ExpandFileSpec(const std::string& name) {
  std::string rest = name;
  const bool append_marker = !rest.empty() && rest.front() == '+';
  if (append_marker) rest.erase(0, 1);
  rest = Trimmed(rest);
  if (rest.empty()) return "";

  std::string spec = rest;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(rest, error);
  if (!error) spec = WithoutDotComponents(absolute.native());

  if (!spec.empty() && spec.back() == '/') {
    spec += "*.*";
  } else if (!HasWildcard(spec) && std::filesystem::is_directory(spec, error)) {
    spec += "/*.*";
  }
  return append_marker ? "+" + spec : spec;
}

void ChangeCurrentFolder(const std::string& folder) {
  // No drives on POSIX: only the directory changes.
  if (::chdir(folder.c_str()) != 0) return;
}

}  // namespace zelk
