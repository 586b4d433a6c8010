#pragma once
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"

namespace zelk {

// Decodes the largest, deepest entry of an .ico file into out; transparent parts
// show white. Throws ImageError with the reason.
void ReadIco(const std::uint8_t* data, std::size_t size, Bitmap& out);

}  // namespace zelk
