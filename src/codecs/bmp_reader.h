#pragma once
#include <cstddef>
#include <cstdint>

#include "core/bitmap.h"

namespace zelk {

// Decodes a Windows or OS/2 bitmap file ("BM", then a DIB whose bits start where the
// file header says) into out. Throws ImageError with the reason.
void ReadBmp(const std::uint8_t* data, std::size_t size, Bitmap& out);

}  // namespace zelk
