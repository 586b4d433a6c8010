// JPEG files through the file reader the loader uses for ".jpg" and ".jpeg".

#include "codecs/jpeg_codec.h"
#include "stream_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeFromStream(zelk::ReadJpegFile, zelk::ReadJpegBytes, data, size);
  return 0;
}
