#include "codecs/ico_reader.h"

namespace zelk {

void ReadIco(const std::uint8_t*, std::size_t, Bitmap&) {
  throw ImageError("icons cannot be read yet");
}

}  // namespace zelk
