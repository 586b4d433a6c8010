// Bitmap files through the reader the loader uses for ".bmp".

#include "codecs/bmp_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeLikeTheLoader(zelk::ReadBmp, data, size);
  return 0;
}
