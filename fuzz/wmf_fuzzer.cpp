// Windows metafiles, placeable and plain, played as the loader plays them.

#include "codecs/metafile_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zelk::fuzz::EnsureGuiApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelk::fuzz::DecodeLikeTheLoader(zelk::ReadWmf, data, size);
  return 0;
}
