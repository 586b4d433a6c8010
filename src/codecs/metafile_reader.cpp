#include "codecs/metafile_reader.h"

namespace zelk {

void ReadWmf(const std::uint8_t*, std::size_t, Bitmap&) {
  throw ImageError("Windows metafiles cannot be read yet");
}

void ReadEmf(const std::uint8_t*, std::size_t, Bitmap&) {
  throw ImageError("enhanced metafiles cannot be read yet");
}

}  // namespace zelk
