// PNG files through the file reader the loader uses for ".png".

#include "codecs/png_codec.h"
#include "stream_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeFromStream(zelk::ReadPngFile, zelk::ReadPngBytes, data, size);
  return 0;
}
