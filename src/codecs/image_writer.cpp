#include "codecs/image_writer.h"

#include <system_error>

#include "codecs/bmp_writer.h"
#include "codecs/image_loader.h"
#include "codecs/jpeg_codec.h"
#include "codecs/metafile_writer.h"
#include "codecs/png_codec.h"
#include "codecs/safe_file_writer.h"

namespace zelk {

void SaveImageFile(const std::string& path, const Bitmap& image) {
  if (image.Empty()) throw ImageError("there is no image to save");
  const std::string ext = UpperExtension(path);
  SafeFileWriter writer(path);
  try {
    if (ext == ".BMP") {
      WriteBmp(image, writer.File());
    } else if (ext == ".JPG" || ext == ".JPEG") {
      WriteJpeg(image, writer.File(), 90);
    } else if (ext == ".PNG") {
      WritePng(image, writer.File(), 9);
    } else if (ext == ".WMF") {
      WriteWmf(image, writer.File());
    } else {
      WriteEmf(image, writer.File());
    }
  } catch (const std::system_error& e) {
    // The encoders know the reason but not the file's name.
    throw std::system_error(e.code(), "cannot write " + path);
  }
  writer.Commit();
}

}  // namespace zelk
