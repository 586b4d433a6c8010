#include "codecs/image_formats.h"

#include "codecs/bmp_reader.h"
#include "codecs/bmp_writer.h"
#include "codecs/ico_reader.h"
#include "codecs/jpeg_codec.h"
#include "codecs/metafile_reader.h"
#include "codecs/metafile_writer.h"
#include "codecs/png_codec.h"
#include "support/support.h"

namespace zelk {

namespace {

// JPEG at quality 90 and PNG at the strongest compression: a converted file should
// lose as little as its format allows.
void WriteJpegQuality90(const Bitmap& image, std::FILE* file) {
  WriteJpeg(image, file, 90);
}
void WritePngLevel9(const Bitmap& image, std::FILE* file) {
  WritePng(image, file, 9);
}

// Metafile playback follows the cancel flag between records and drawings.
template <void (*Read)(const std::uint8_t*, std::size_t, Bitmap&, const DecodeControl*)>
void ReadMetafile(const std::uint8_t* data, std::size_t size, Bitmap& out, DecodeControl* control) {
  if (CancelRequested(control)) throw DecodeCancelled();
  Read(data, size, out, control);
}

template <void (*Read)(std::FILE*, Bitmap&, const RasterReadOptions&)>
void ReadRasterFile(std::FILE* file, Bitmap& out, DecodeControl* control) {
  RasterReadOptions options;
  options.control = control;
  Read(file, out, options);
}

std::string Patterns(const ImageFormat& format, const char* separator) {
  std::string patterns;
  for (const char* extension : format.extensions) {
    if (!patterns.empty()) patterns += separator;
    patterns += "*" + LowerCaseAscii(extension);
  }
  return patterns;
}

}  // namespace

const std::vector<ImageFormat>& ImageFormats() {
  static const std::vector<ImageFormat> formats = {
      {"JPEG",
       "JPEG Image File",
       {".JPG", ".JPEG"},
       nullptr,
       ReadRasterFile<ReadJpegFile>,
       WriteJpegQuality90},
      {"BMP", "Bitmaps", {".BMP"}, ReadBmp, nullptr, WriteBmp},
      {"ICO", "Icons", {".ICO"}, ReadIco, nullptr, nullptr},
      {"EMF",
       "Enhanced Metafiles",
       {".EMF"},
       ReadMetafile<ReadEmfCancellable>,
       nullptr,
       WriteEmf,
       true},
      {"WMF", "Metafiles", {".WMF"}, ReadMetafile<ReadWmfCancellable>, nullptr, WriteWmf, true},
      {"PNG", "PNG Files", {".PNG"}, nullptr, ReadRasterFile<ReadPngFile>, WritePngLevel9},
  };
  return formats;
}

const ImageFormat* FormatOfExtension(const std::string& upper_extension) {
  for (const ImageFormat& format : ImageFormats())
    for (const char* extension : format.extensions)
      if (upper_extension == extension) return &format;
  return nullptr;
}

std::string UpperExtension(const std::string& path) {
  return UpperCaseText(ExtensionOf(path));
}

bool IsListedImageExtension(const std::string& extension) {
  return FormatOfExtension(UpperCaseText(extension)) != nullptr;
}

std::vector<std::string> PictureFileFilters() {
  std::string all_captioned, all_patterns;
  std::vector<std::string> filters(1);
  for (const ImageFormat& format : ImageFormats()) {
    const std::string captioned = Patterns(format, ";");
    const std::string patterns = Patterns(format, " ");
    std::string filter = format.dialog_caption;
    filter.append(" (").append(captioned).append(") (").append(patterns).append(")");
    filters.push_back(std::move(filter));
    all_captioned += (all_captioned.empty() ? "" : ";") + captioned;
    all_patterns += (all_patterns.empty() ? "" : " ") + patterns;
  }
  filters[0] = "All (" + all_captioned + ") (" + all_patterns + ")";
  return filters;
}

std::string OpenableFormatNames() {
  std::string names;
  for (const ImageFormat& format : ImageFormats()) {
    if (format.read_memory == nullptr && format.read_file == nullptr) continue;
    if (!names.empty()) names += ", ";
    names += format.name;
  }
  return names;
}

}  // namespace zelk
