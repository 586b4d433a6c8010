#pragma once
#include <cstddef>
#include <cstdint>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// Decodes a Windows or OS/2 bitmap file ("BM", then a DIB whose bits start where the
// file header says) into out; the stored colours are shown, alpha or not. Throws
// ImageError with the reason, DecodeCancelled when control asks for it.
void ReadBmp(const std::uint8_t* data, std::size_t size, Bitmap& out,
             DecodeControl* control = nullptr);

}  // namespace zelk
