// JPEG files through the file reader the loader uses for ".jpg" and ".jpeg".

#include "codecs/jpeg_codec.h"
#include "stream_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeFromStream(
      [](std::FILE* file, zelk::Bitmap& out) { zelk::ReadJpegFile(file, out); },
      [](const std::uint8_t* bytes, std::size_t n, zelk::Bitmap& out) {
        zelk::ReadJpegBytes(bytes, n, out);
      },
      data, size);
  return 0;
}
