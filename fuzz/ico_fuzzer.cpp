// Icon files (BMP-based and PNG entries) through the reader the loader uses.

#include "codecs/ico_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeLikeTheLoader([](const std::uint8_t* bytes, std::size_t n,
                                     zelk::Bitmap& out) { zelk::ReadIco(bytes, n, out); },
                                  data, size);
  return 0;
}
