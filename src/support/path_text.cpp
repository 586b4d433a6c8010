// Pieces of a path and letter case, for every layer: "/" is the only delimiter, and
// paths are byte strings (UTF-8 on Linux, but any bytes the file system gives us).

#include <QString>

#include "support/support.h"

namespace zelk {

namespace {

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

std::size_t ExtensionStart(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path)) return path.size();
  return dot;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

std::string PathPart(const std::string& path) {
  return path.substr(0, NameStart(path));
}

std::string FileNamePart(const std::string& path) {
  return path.substr(NameStart(path));
}

std::string ExtensionOf(const std::string& path) {
  return path.substr(ExtensionStart(path));
}

std::string RemoveExtension(const std::string& path) {
  return path.substr(0, ExtensionStart(path));
}

std::string LowerCaseAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string UpperCaseText(const std::string& text) {
  std::string ascii_upper = text;
  for (char& c : ascii_upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (IsAscii(text)) return ascii_upper;
  // Only valid UTF-8 survives a round trip through QString unchanged; anything else
  // keeps its bytes so that the result still names the same file's text.
  const QString decoded = QString::fromUtf8(ascii_upper.data(), qsizetype(ascii_upper.size()));
  const QByteArray reencoded = decoded.toUtf8();
  if (reencoded.size() != qsizetype(ascii_upper.size()) || reencoded.toStdString() != ascii_upper)
    return ascii_upper;
  return decoded.toUpper().toStdString();
}

}  // namespace zelk
