#pragma once
// The one table of the picture formats the viewer knows: which extensions each has,
// how it is read and written, how the file dialogs name it and whether the folder
// scan lists it. The loader, the writer, both file dialogs, the folder scan and
// --help all read it, so a format is added or changed in one place.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

struct ImageFormat {
  // Reads a file held whole in memory (BMP, ICO, WMF, EMF) ...
  using MemoryReader = void (*)(const std::uint8_t* data, std::size_t size, Bitmap& out,
                                DecodeControl* control);
  // ... or streamed from an open file (JPEG, PNG, which decode row by row).
  using FileReader = void (*)(std::FILE* file, Bitmap& out, DecodeControl* control);
  using Writer = void (*)(const Bitmap& image, std::FILE* file);

  const char* name;                     // in --help: "JPEG"
  const char* dialog_caption;           // as the file dialogs list it
  std::vector<const char*> extensions;  // upper case, dot included: ".JPG", ".JPEG"
  MemoryReader read_memory = nullptr;
  FileReader read_file = nullptr;
  Writer write = nullptr;
  // Drawn through the toolkit's painter (fonts, shapes): only once it has started.
  bool needs_toolkit = false;
};

// Every format, in the order the file dialogs list them.
const std::vector<ImageFormat>& ImageFormats();

// The format of an upper-cased extension (dot included), or nullptr.
const ImageFormat* FormatOfExtension(const std::string& upper_extension);

// The extension of path upper-cased (ASCII always, other letters for valid UTF-8).
std::string UpperExtension(const std::string& path);

// True for the extensions the folder scan lists, in any letter case, matched whole
// (.JPE, .BM, .TIF and "" are not).
bool IsListedImageExtension(const std::string& extension);

// The file dialogs' filters: "All (*.jpg;*.jpeg;...)" first, then one per format, each
// the caption users see followed by its blank-separated patterns in parentheses
// (the toolkit takes the patterns from the last parentheses and shows the caption).
std::vector<std::string> PictureFileFilters();

// "JPEG, BMP, ICO, EMF, WMF, PNG": the names of the formats that can be opened.
std::string OpenableFormatNames();

}  // namespace zelk
