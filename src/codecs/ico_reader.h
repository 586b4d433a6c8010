#pragma once
#include <cstddef>
#include <cstdint>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// Decodes the largest, deepest entry of an .ico file into out; transparent parts
// show white. A damaged entry gives way to the next best, up to kMaxIconEntriesTried
// entries, none decoded twice. Throws ImageError with the reason, DecodeCancelled
// when control asks for it.
void ReadIco(const std::uint8_t* data, std::size_t size, Bitmap& out,
             DecodeControl* control = nullptr);

// Real icons hold a few sizes and depths; a damaged one rarely more than one or two
// bad entries. Each try may cost a 4096 x 4096 decode, so a file of 65535 damaged
// entries is given up after this many.
inline constexpr int kMaxIconEntriesTried = 4;

}  // namespace zelk
