#pragma once
#include <cstddef>
#include <cstdint>

#include "codecs/decode_control.h"
#include "platform/bitmap.h"

namespace zelk {

// Plays a Windows metafile (placeable or plain) onto out, sized from its header at
// 96 dots per inch, on white. Throws ImageError with the reason.
void ReadWmf(const std::uint8_t* data, std::size_t size, Bitmap& out);
// Plays an enhanced metafile onto out, sized from its header's frame and device sizes
// at 96 dots per inch, on white. Throws ImageError with the reason.
void ReadEmf(const std::uint8_t* data, std::size_t size, Bitmap& out);

// The same, following control's cancel flag between records and before each drawing:
// once it is set, playback stops with DecodeCancelled (what the loader calls).
void ReadWmfCancellable(const std::uint8_t* data, std::size_t size, Bitmap& out,
                        const DecodeControl* control);
void ReadEmfCancellable(const std::uint8_t* data, std::size_t size, Bitmap& out,
                        const DecodeControl* control);

}  // namespace zelk
