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

// Resolves an absolute path by its spelling alone, as an absolute-path resolution
// does: "." components and repeated "/" are dropped, ".." removes the component
// before it (never going above "/"). Symlinks are not followed, so every name of a
// file reaches the list in one spelling. A path that ended in a folder ("/a/.",
// "/a/b/.." or "/a/") keeps a trailing "/".
std::string ResolvedLexically(const std::string& path) {
  std::string out = "/";
  std::size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '/') {
      ++i;
      continue;
    }
    std::size_t end = path.find('/', i);
    if (end == std::string::npos) end = path.size();
    const std::size_t length = end - i;
    if (length == 2 && path[i] == '.' && path[i + 1] == '.') {
      if (out.size() > 1) out.erase(out.rfind('/', out.size() - 2) + 1);
    } else if (!(length == 1 && path[i] == '.')) {
      out.append(path, i, length);
      out.push_back('/');
    }
    i = end;
  }
  // A last component that names a file or folder as given loses the "/" added above.
  const bool ended_in_folder =
      path.empty() || path.back() == '/' || path.ends_with("/.") || path.ends_with("/..");
  if (!ended_in_folder && out.size() > 1) out.pop_back();
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
  if (!error) spec = ResolvedLexically(absolute.native());

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
