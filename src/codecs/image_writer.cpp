#include "codecs/image_writer.h"

#include <system_error>

#include "codecs/image_formats.h"
#include "codecs/image_loader.h"
#include "codecs/metafile_writer.h"
#include "codecs/safe_file_writer.h"

namespace zelk {

void SaveImageFile(const std::string& path, const Bitmap& image) {
  if (image.Empty()) throw ImageError("there is no image to save");
  const std::string ext = UpperExtension(path);
  SafeFileWriter writer(path);
  // Any other extension, none included, is written as an enhanced metafile.
  const ImageFormat* format = FormatOfExtension(ext);
  const ImageFormat::Writer write = format && format->write ? format->write : WriteEmf;
  try {
    write(image, writer.File());
  } catch (const std::system_error& e) {
    // The encoders know the reason but not the file's name.
    throw std::system_error(e.code(), "cannot write " + path);
  }
  writer.Commit();
}

}  // namespace zelk
