#include "core/files/paths.h"

#include <QString>
#include <filesystem>
#include <system_error>

namespace zelk {

namespace {

constexpr char kDelimiter = '/';
// Each accepted extension wrapped in commas; an extension is accepted when
// "," + upper-cased extension + "," occurs here, so "" (",,") never is.
constexpr const char* kFolderImageExtensions = ",.BMP,.JPG,.JPEG,.EMF,.WMF,.ICO,.PNG,";

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.rfind(kDelimiter);
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

std::string UpperExtension(const std::string& path) {
  return UpperCaseText(ExtensionOf(path));
}

std::string RemoveExtension(const std::string& path) {
  return path.substr(0, ExtensionStart(path));
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

bool IsFolderImageExtension(const std::string& extension) {
  // A comma inside would let ".JPG,.JPEG" match two listed entries at once.
  if (extension.find(',') != std::string::npos) return false;
  const std::string wrapped = "," + UpperCaseText(extension) + ",";
  return std::string_view(kFolderImageExtensions).find(wrapped) != std::string_view::npos;
}

bool SameFilePath(const std::string& a, const std::string& b) {
  std::error_code error;
  const bool same_file = std::filesystem::equivalent(a, b, error);
  if (!error) return same_file;
  return a == b;
}

}  // namespace zelk
