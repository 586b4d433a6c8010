#pragma once
// CMYK scan lines (as libjpeg hands them out, YCCK already turned into CMYK) to
// the working bitmap's B, G, R.

#include <cstddef>
#include <cstdint>

namespace zelk {

// inverted: the file stores 255 - ink, as Adobe's applications write it (and say
// so with their APP14 marker); otherwise the values are plain ink amounts.
// Each colour is (255 - ink) x (255 - black) / 255, rounded.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, std::size_t pixels,
                  bool inverted) noexcept;

}  // namespace zelk
