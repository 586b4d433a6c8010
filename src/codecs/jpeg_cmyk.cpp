#include "codecs/jpeg_cmyk.h"

namespace zelk {
namespace {

inline std::uint8_t MulDiv255(unsigned a, unsigned b) noexcept {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

}  // namespace

void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, std::size_t pixels,
                  bool inverted) noexcept {
  // Work on "paper left" amounts: 255 means no ink.
  const unsigned flip = inverted ? 0 : 255;
  for (std::size_t i = 0; i < pixels; ++i, cmyk += 4, bgr += 3) {
    const unsigned c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip, k = cmyk[3] ^ flip;
    bgr[0] = MulDiv255(y, k);
    bgr[1] = MulDiv255(m, k);
    bgr[2] = MulDiv255(c, k);
  }
}

}  // namespace zelk
