// PNG files through the file reader the loader uses for ".png".

#include "codecs/png_codec.h"
#include "stream_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeFromStream(
      [](std::FILE* file, zelk::Bitmap& out) { zelk::ReadPngFile(file, out); },
      [](const std::uint8_t* bytes, std::size_t n, zelk::Bitmap& out) {
        zelk::ReadPngBytes(bytes, n, out);
      },
      data, size);
  return 0;
}
