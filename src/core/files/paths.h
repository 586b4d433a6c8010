#pragma once
// Pieces of a path as the viewer uses them. Paths are byte strings (UTF-8 on Linux,
// but any bytes the file system gives us); "/" is the only delimiter here.

#include <string>

namespace zelk {

// Everything up to and including the last "/" ("" when there is none).
std::string PathPart(const std::string& path);
// Everything after the last "/" (the whole path when there is none).
std::string FileNamePart(const std::string& path);
// From the last "." that follows the last "/", dot included; "" when the name part
// holds no dot.
std::string ExtensionOf(const std::string& path);
// ExtensionOf, upper-cased (ASCII letters always; other letters when the bytes are
// valid UTF-8).
std::string UpperExtension(const std::string& path);
// The path without ExtensionOf(path).
std::string RemoveExtension(const std::string& path);
// Upper-cases text for comparisons and captions: ASCII letters by the plain rule
// (so a Turkish locale's dotted capital I never turns ".ico" into something else),
// other letters by Unicode when the text is valid UTF-8; invalid UTF-8 keeps its
// non-ASCII bytes as they are.
std::string UpperCaseText(const std::string& text);

// True for the extensions the folder scan lists: .BMP .JPG .JPEG .EMF .WMF .ICO .PNG
// in any letter case, matched whole (.JPE, .BM, .TIF and "" are not).
bool IsFolderImageExtension(const std::string& extension);

// True when a and b name the same file: the same file on disk when both exist (this
// catches ./x, symlinks and hard links), otherwise the same bytes.
bool SameFilePath(const std::string& a, const std::string& b);

}  // namespace zelk
